#include "base/hex.hpp"

#include <cstring>

#include "base/memory.hpp"

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

std::uint8_t *hex_to_bytes(const char *text, std::size_t *decoded)
{
    const std::size_t n = std::strlen(text);
    auto *bytes = static_cast<std::uint8_t *>(alloc_or_exit(n));
    std::size_t count = 0;
    for (std::size_t i = 0; 2 * i < n; ++i) {
        const int high = hex_digit_value(text[2 * i]);
        if (high < 0) {
            break;
        }
        if (2 * i + 1 == n) {  // a single last digit stands alone
            bytes[i] = static_cast<std::uint8_t>(high);
        } else {
            const int low = hex_digit_value(text[2 * i + 1]);
            if (low < 0) {
                break;
            }
            bytes[i] = static_cast<std::uint8_t>(high * 16 + low);
        }
        count = i + 1;
    }
    if (decoded != nullptr) {
        *decoded = count;
    }
    return bytes;
}

}  // namespace zorvik
