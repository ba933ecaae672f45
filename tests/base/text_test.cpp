// The text helpers: bounded copies of library texts and the reading of
// conference numbers typed by friends.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "base/text.hpp"

namespace {

using namespace zorvik;

// A library text copied into a buffer of `size` bytes (the rest of a
// 1400-byte buffer must stay untouched): n = min(length, size - 1) bytes,
// NUL bytes included, then a NUL.
TEST(CopyMessageText, CopiesWhatFitsBeforeTheNulAndNeverPastTheBuffer)
{
    const struct {
        const char *what;
        std::string text;
        std::size_t size;
        std::string copied;
    } cases[] = {
        {"a full-length message", std::string(1372, 'm'), 1372, std::string(1371, 'm')},
        {"a zero-length text", "", 8, ""},
        {"embedded NUL bytes", std::string("a\0bc", 4), 16, std::string("a\0bc", 4)},
        {"a buffer of 3 bytes", "abcde", 3, "ab"},
        {"a buffer of 1 byte", "abcde", 1, ""},
    };
    for (const auto &c : cases) {
        std::vector<char> buffer(1400, '#');
        const auto length = static_cast<std::uint16_t>(c.text.size());
        const std::uint16_t n = copy_message_text(buffer.data(), c.size,
                                                  reinterpret_cast<const std::uint8_t *>(c.text.data()), length);
        EXPECT_EQ(n, c.copied.size()) << c.what;
        EXPECT_EQ(std::string(buffer.data(), n), c.copied) << c.what;
        EXPECT_EQ(buffer[n], '\0') << c.what;
        EXPECT_EQ(buffer[c.size], '#') << c.what << ": nothing may be written past the given size";
    }
}

// Outcome of parse_group_number: valid flag and value.
struct Parsed {
    bool valid;
    std::int32_t number;
};

Parsed parse(const char *text)
{
    std::int32_t number = 12345;  // must stay untouched for invalid text
    const bool valid = parse_group_number(text, &number);
    return {valid, number};
}

TEST(ParseGroupNumber, ZeroIsValidOnlyAsExactlyZero)
{
    const Parsed zero = parse("0");
    EXPECT_TRUE(zero.valid);
    EXPECT_EQ(zero.number, 0);
    for (const char *text : {"00", "0x", " 0", "abc", "", "-0", "+0", "x7"}) {
        EXPECT_FALSE(parse(text).valid) << "«" << text << "» should be invalid";
    }
}

TEST(ParseGroupNumber, ReadsTheLeadingDecimalPartLikeAtoi)
{
    const struct {
        const char *text;
        std::int32_t number;
    } cases[] = {{"7", 7}, {"7x", 7}, {" 7", 7}, {"\t7", 7}, {"+7", 7}, {"-3", -3}, {"12 34", 12}, {"007", 7}};
    for (const auto &c : cases) {
        const Parsed got = parse(c.text);
        EXPECT_TRUE(got.valid) << "«" << c.text << "»";
        EXPECT_EQ(got.number, c.number) << "«" << c.text << "»";
    }
}

TEST(ParseGroupNumber, AcceptsTheSigned32BitRangeOnly)
{
    const Parsed largest = parse("2147483647");
    EXPECT_TRUE(largest.valid);
    EXPECT_EQ(largest.number, 2147483647);
    const Parsed smallest = parse("-2147483648");
    EXPECT_TRUE(smallest.valid);
    EXPECT_EQ(smallest.number, INT32_MIN);

    for (const char *text : {"2147483648", "-2147483649", "4294967295", "4294967296",
                             "123456789012345678901234567890", "-123456789012345678901234567890"}) {
        const Parsed got = parse(text);
        EXPECT_FALSE(got.valid) << "«" << text << "» is outside the signed 32-bit range, got " << got.number;
    }
}

TEST(ParseLeadingInteger, KeepsHugeValuesOutsideThe32BitRange)
{
    // A number that wraps in 64 bits must not come back into range.
    EXPECT_GT(parse_leading_integer("18446744073709551617"), INT64_C(2147483647));
    EXPECT_LT(parse_leading_integer("-18446744073709551617"), INT64_C(-2147483648));
    EXPECT_EQ(parse_leading_integer("  -42abc"), -42);
    EXPECT_EQ(parse_leading_integer("- 42"), 0);
}

}  // namespace
