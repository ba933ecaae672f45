// Tox IDs and public keys as text, as the banner, the "id" command and the
// log show them.
#pragma once

#include <cstdint>

#include <tox/tox.h>

namespace zorvik {

// Writes the bot's 38-byte Tox address as 76 upper-case hexadecimal digits
// and a NUL.
void format_tox_id(const Tox *tox, char (&text)[2 * TOX_ADDRESS_SIZE + 1]);

// Writes a 32-byte public key as 64 upper-case hexadecimal digits and a NUL.
void format_public_key(const std::uint8_t *public_key, char (&text)[2 * TOX_PUBLIC_KEY_SIZE + 1]);

}  // namespace zorvik
