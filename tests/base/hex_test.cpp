// parse_public_key: the first 64 characters, two digits of either case per
// byte; anything shorter or not made of digits gives no key.
#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "base/hex.hpp"

namespace {

using zorvik::parse_public_key;

const std::string key_text = "000102030405060708090A0B0C0D0E0F"
                             "f0e1d2c3b4a5968778695a4b3c2d1e0F";

TEST(ParsePublicKey, DecodesTheFirstSixtyFourDigitsOfEitherCase)
{
    const std::uint8_t expected[32] = {0x00, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09, 0x0A,
                                       0x0B, 0x0C, 0x0D, 0x0E, 0x0F, 0xF0, 0xE1, 0xD2, 0xC3, 0xB4, 0xA5,
                                       0x96, 0x87, 0x78, 0x69, 0x5A, 0x4B, 0x3C, 0x2D, 0x1E, 0x0F};
    for (const std::string &text : {key_text, key_text + "\n", key_text + "1234 anything"}) {
        std::uint8_t key[32] = {};
        ASSERT_TRUE(parse_public_key(text.c_str(), key)) << "«" << text << "»";
        EXPECT_EQ(std::vector<std::uint8_t>(key, key + 32), std::vector<std::uint8_t>(expected, expected + 32));
    }
}

TEST(ParsePublicKey, ShorterTextsAndOtherCharactersGiveNoKey)
{
    std::string with_space = key_text;
    with_space[40] = ' ';
    std::string with_g = key_text;
    with_g[63] = 'g';
    for (const std::string &text : {std::string(), key_text.substr(0, 63), key_text.substr(0, 62), with_space, with_g,
                                    "0x" + key_text}) {
        std::uint8_t key[32] = {};
        EXPECT_FALSE(parse_public_key(text.c_str(), key)) << "«" << text << "»";
    }
}

}  // namespace
