#include "base/tox_id.hpp"

#include <cstddef>

namespace zorvik {

namespace {

// Writes `size` bytes as 2 * size upper-case digits and a NUL into `text`,
// which holds 2 * size + 1 characters.
void write_hex(const std::uint8_t *bytes, std::size_t size, char *text)
{
    static constexpr char digits[] = "0123456789ABCDEF";
    for (std::size_t i = 0; i < size; ++i) {
        text[2 * i] = digits[bytes[i] >> 4];
        text[2 * i + 1] = digits[bytes[i] & 0x0F];
    }
    text[2 * size] = '\0';
}

}  // namespace

void format_tox_id(const Tox *tox, char (&text)[2 * TOX_ADDRESS_SIZE + 1])
{
    std::uint8_t address[TOX_ADDRESS_SIZE];
    tox_self_get_address(tox, address);
    write_hex(address, sizeof address, text);
}

void format_public_key(const std::uint8_t *public_key, char (&text)[2 * TOX_PUBLIC_KEY_SIZE + 1])
{
    write_hex(public_key, TOX_PUBLIC_KEY_SIZE, text);
}

}  // namespace zorvik
