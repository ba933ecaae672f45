#include "base/tox_id.hpp"

#include <cstdint>

namespace zorvik {

void format_tox_id(const Tox *tox, char (&text)[2 * TOX_ADDRESS_SIZE + 1])
{
    static constexpr char digits[] = "0123456789ABCDEF";
    std::uint8_t address[TOX_ADDRESS_SIZE];
    tox_self_get_address(tox, address);
    for (std::size_t i = 0; i < TOX_ADDRESS_SIZE; ++i) {
        text[2 * i] = digits[address[i] >> 4];
        text[2 * i + 1] = digits[address[i] & 0x0F];
    }
    text[2 * TOX_ADDRESS_SIZE] = '\0';
}

}  // namespace zorvik
