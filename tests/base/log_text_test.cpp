// The log form of friend-supplied text: control bytes become '?', all else
// (UTF-8 included) stays, and the copy never passes its buffer.
#include <string>

#include <gtest/gtest.h>

#include "base/log_text.hpp"

namespace {

TEST(LogText, ReplacesControlBytesOnly)
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
    };
    for (const auto &c : cases) {
        zorvik::LogText out;
        EXPECT_EQ(std::string(zorvik::log_text(out, sizeof out, c.text.c_str())), c.logged);
        std::string in_place = c.text;
        zorvik::make_log_safe(in_place.data());
        EXPECT_EQ(in_place, c.logged);
    }
}

TEST(LogText, CopyIsBoundedByItsBuffer)
{
    char small[4] = {'#', '#', '#', '#'};
    EXPECT_STREQ(zorvik::log_text(small, sizeof small, "ab\ncd"), "ab?");
    char one[1] = {'#'};
    EXPECT_STREQ(zorvik::log_text(one, sizeof one, "abc"), "");
}

}  // namespace
