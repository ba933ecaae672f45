// The log form of friend-supplied text: control characters (C0, DEL, C1)
// and bytes outside valid UTF-8 become '?', valid UTF-8 stays, and the copy
// never passes its buffer.
#include <string>

#include <gtest/gtest.h>

#include "base/log_text.hpp"

namespace {

TEST(LogText, ReplacesControlsAndInvalidUtf8Only)
{
    const struct {
        std::string text;
        std::string logged;
    } cases[] = {
        {"Plain name 42 %s", "Plain name 42 %s"},
        {"x\nForged line", "x?Forged line"},
        {"\r\t\x1b[31mred\x7f", "???[31mred?"},
        {"\x01\x1f\x20~", "?? ~"},
        {"Zo\xc3\xabl \xe2\x9c\x93", "Zo\xc3\xabl \xe2\x9c\x93"},
        // Valid UTF-8 of every length stays: CJK, an emoji, the highest code point.
        {"\xe6\xbc\xa2\xe5\xad\x97 \xf0\x9f\x98\x80 \xf4\x8f\xbf\xbf \xc2\xa0", "\xe6\xbc\xa2\xe5\xad\x97 \xf0\x9f\x98\x80 \xf4\x8f\xbf\xbf \xc2\xa0"},
        // C1 controls, as raw bytes (no UTF-8) and as UTF-8 U+0080..U+009F.
        {"a\x9b" "31mb\x9d" "0;x\x07", "a?31mb?0;x?"},
        {"a\xc2\x9b" "31m\xc2\x80\xc2\x9f|", "a?31m??|"},
        // Invalid UTF-8: a stray continuation, a lead cut short, overlong
        // forms, a surrogate, past U+10FFFF, bytes no sequence uses.
        {"\x80x\xc3", "?x?"},
        {"\xe2\x9c" "x", "??x"},
        {"\xc0\xaf\xe0\x80\xaf\xf0\x80\x80\xaf", "?????????"},
        {"\xed\xa0\x80|\xf4\x90\x80\x80|\xf8\xfe\xff", "???|????|???"},
    };
    for (const auto &c : cases) {
        zorvik::LogText out;
        EXPECT_EQ(std::string(zorvik::log_text(out, sizeof out, c.text.c_str())), c.logged);
        std::string in_place = c.text;
        zorvik::make_log_safe(in_place.data());
        EXPECT_EQ(std::string(in_place.c_str()), c.logged) << "in place";
    }
}

TEST(LogText, CopyIsBoundedByItsBuffer)
{
    char small[4] = {'#', '#', '#', '#'};
    EXPECT_STREQ(zorvik::log_text(small, sizeof small, "ab\ncd"), "ab?");
    char one[1] = {'#'};
    EXPECT_STREQ(zorvik::log_text(one, sizeof one, "abc"), "");
    char three[3] = {'#', '#', '#'};
    EXPECT_STREQ(zorvik::log_text(three, sizeof three, "a\xc3\xab"), "a") << "no character is cut in half";
}

}  // namespace
