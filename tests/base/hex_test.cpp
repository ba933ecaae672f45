// hex_to_bytes: two digits per byte, a lone last digit, the stop at the first
// position that is not hexadecimal, and the zeroed rest of the buffer.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "base/hex.hpp"

namespace {

using zorvik::hex_to_bytes;

// Owns the decoded buffer for one test.
struct Decoded {
    explicit Decoded(const std::string &text) : length(text.size()), bytes(hex_to_bytes(text.c_str(), &count)) {}
    ~Decoded() { std::free(bytes); }
    Decoded(const Decoded &) = delete;
    Decoded &operator=(const Decoded &) = delete;

    std::size_t length;
    std::size_t count = 0;
    std::uint8_t *bytes;
};

TEST(HexToBytes, SixtyFourDigitsGiveThirtyTwoBytes)
{
    const std::string text = "000102030405060708090A0B0C0D0E0F"
                             "F0E1D2C3B4A5968778695A4B3C2D1E0F";
    Decoded d(text);
    ASSERT_NE(d.bytes, nullptr);
    EXPECT_EQ(d.count, 32u);
    const std::uint8_t expected[32] = {0x00, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09, 0x0A,
                                       0x0B, 0x0C, 0x0D, 0x0E, 0x0F, 0xF0, 0xE1, 0xD2, 0xC3, 0xB4, 0xA5,
                                       0x96, 0x87, 0x78, 0x69, 0x5A, 0x4B, 0x3C, 0x2D, 0x1E, 0x0F};
    for (std::size_t i = 0; i < 32; ++i) {
        EXPECT_EQ(d.bytes[i], expected[i]) << "byte " << i;
    }
}

// Texts and the leading bytes they decode to: two digits of either case
// per byte, a lone last digit, and the stop at the first position that is
// not made of digits.
TEST(HexToBytes, DecodesLeadingPairsOfDigitsUpToTheFirstOtherCharacter)
{
    const struct {
        const char *text;
        std::vector<std::uint8_t> bytes;
    } cases[] = {
        {"0a1B", {0x0A, 0x1B}},
        {"fFaA", {0xFF, 0xAA}},
        {"abc", {0xAB, 0x0C}},  // the single last digit is a byte of its own
        {"12zz34", {0x12}},
        {"1g3456", {}},  // only the second character of the first pair is wrong
        {"ab cd", {0xAB}},
        {"abcd\n", {0xAB, 0xCD}},  // the newline stands alone in the last position
        {"abX", {0xAB}},
        {"", {}},
    };
    for (const auto &c : cases) {
        Decoded d(c.text);
        ASSERT_NE(d.bytes, nullptr);
        EXPECT_EQ(std::vector<std::uint8_t>(d.bytes, d.bytes + d.count), c.bytes) << "«" << c.text << "»";
    }
}

TEST(HexToBytes, LeavesEveryUndecodedPositionZero)
{
    // Buffer of strlen bytes: 2 decoded, positions 2 to 9 never written.
    Decoded d("abcdXX3456");
    ASSERT_EQ(d.count, 2u);
    for (std::size_t i = d.count; i < d.length; ++i) {
        EXPECT_EQ(d.bytes[i], 0) << "position " << i << " past the decoded bytes";
    }

    Decoded all("ffff");
    EXPECT_EQ(all.bytes[2], 0) << "bytes past n/2 of a fully decoded text stay zero";
    EXPECT_EQ(all.bytes[3], 0);
}

}  // namespace
