// Reply senders and the display name that log lines show: what every
// command handler and the event handlers use to answer and to log.
#pragma once

#include <cstdint>

#include <tox/tox.h>

#include "bot_state.hpp"

namespace zorvik {

// Sends `text` (without its NUL) to the friend as one normal message and
// counts it as unread (reply_budget.hpp). Returns false when the library
// did not queue it; a full send queue also writes "Reply to <name> cut
// short: ..." on standard error. A reply of several lines stops at the
// first false, so such a reply logs one line at most.
bool reply_text(Tox *tox, std::uint32_t friend_number, const char *text);

// Sends "<text> (error <code>)", cut to 1371 bytes.
void reply_error(Tox *tox, std::uint32_t friend_number, const char *text, std::int32_t code);

// Buffer type for a friend's name, as shown in log lines.
using DisplayName = char[max_name_length + 1];

// Fills `name` with the friend's name, NUL-terminated, for a log line: its
// control bytes are replaced (see log_text). The empty text when the library
// cannot report it.
void friend_display_name(const Tox *tox, std::uint32_t friend_number, DisplayName &name);

}  // namespace zorvik
