// The bot's Tox ID as text, as the banner and the "id" command show it.
#pragma once

#include <tox/tox.h>

namespace zorvik {

// Writes the bot's 38-byte Tox address as 76 upper-case hexadecimal digits
// and a NUL.
void format_tox_id(const Tox *tox, char (&text)[2 * TOX_ADDRESS_SIZE + 1]);

}  // namespace zorvik
