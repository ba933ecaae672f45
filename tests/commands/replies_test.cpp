// The shared text operations: bounded copies of library texts and the
// reading of conference numbers typed by friends.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "commands/replies.hpp"

namespace {

using namespace zorvik;

TEST(CopyMessageText, CutsAFullLengthTextToLeaveRoomForTheNul)
{
    const std::vector<std::uint8_t> text(1372, 'm');
    std::vector<char> buffer(1372, '#');
    EXPECT_EQ(copy_message_text(buffer.data(), buffer.size(), text.data(), 1372), 1371);
    EXPECT_EQ(std::strlen(buffer.data()), 1371u);
    EXPECT_EQ(buffer[1371], '\0');
}

TEST(CopyMessageText, ZeroLengthGivesTheEmptyText)
{
    const std::uint8_t text[] = {'x'};
    char buffer[8] = "garbage";
    EXPECT_EQ(copy_message_text(buffer, sizeof buffer, text, 0), 0);
    EXPECT_STREQ(buffer, "");
}

TEST(CopyMessageText, CopiesEmbeddedNulBytes)
{
    const std::uint8_t text[] = {'a', '\0', 'b', 'c'};
    char buffer[16];
    std::memset(buffer, '#', sizeof buffer);
    ASSERT_EQ(copy_message_text(buffer, sizeof buffer, text, sizeof text), 4);
    EXPECT_EQ(std::memcmp(buffer, text, sizeof text), 0);
    EXPECT_EQ(buffer[4], '\0');
}

TEST(CopyMessageText, NeverWritesPastTheBuffer)
{
    const std::uint8_t text[] = {'a', 'b', 'c', 'd', 'e'};
    char buffer[5] = {'#', '#', '#', '#', '#'};
    EXPECT_EQ(copy_message_text(buffer, 3, text, sizeof text), 2);
    EXPECT_STREQ(buffer, "ab");
    EXPECT_EQ(buffer[3], '#');
    EXPECT_EQ(copy_message_text(buffer, 1, text, sizeof text), 0);
    EXPECT_EQ(buffer[0], '\0');
}

TEST(ClampLengthU16, HoldsLargeLengthsAtTheLargestCount)
{
    EXPECT_EQ(clamp_length_u16(0), 0);
    EXPECT_EQ(clamp_length_u16(1372), 1372);
    EXPECT_EQ(clamp_length_u16(65535), 65535);
    EXPECT_EQ(clamp_length_u16(65536), 65535) << "must not wrap to 0";
    EXPECT_EQ(clamp_length_u16(SIZE_MAX), 65535);
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
