#include "base/hex.hpp"

namespace zorvik {

namespace {

// Value of one hexadecimal digit, or -1 for any other character.
int hex_digit_value(char c)
{
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

}  // namespace

bool parse_public_key(const char *text, std::uint8_t (&key)[TOX_PUBLIC_KEY_SIZE])
{
    for (std::size_t i = 0; i < TOX_PUBLIC_KEY_SIZE; ++i) {
        const int high = hex_digit_value(text[2 * i]);
        if (high < 0) {
            return false;
        }
        const int low = hex_digit_value(text[2 * i + 1]);
        if (low < 0) {
            return false;
        }
        key[i] = static_cast<std::uint8_t>(high * 16 + low);
    }
    return true;
}

}  // namespace zorvik
