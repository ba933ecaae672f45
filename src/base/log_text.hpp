// Friend-supplied text made safe for the log: standard output and error are
// read line by line (journal, terminal), so a control byte in a name or a
// title must not start a line of its own or reach a terminal raw, and bytes
// that are not UTF-8 must not turn the journal's line into a binary blob.
#pragma once

#include <cstddef>

#include <tox/tox.h>

namespace zorvik {

// A buffer for the log form of one friend-supplied text of any length a
// message can carry.
using LogText = char[TOX_MAX_MESSAGE_LENGTH];

// Copies the NUL-terminated `text` into `out` (at most out_size - 1 bytes,
// then a NUL) in its log form: each C0 control (below 0x20), DEL (0x7F) and
// C1 control (U+0080 to U+009F) becomes one '?', and so does each byte that
// does not belong to a valid UTF-8 sequence; valid UTF-8 text stays as it
// is. A character that does not fit whole is left out. Returns `out`, so a
// call can stand as a printf argument. `out_size` must be >= 1.
const char *log_text(char *out, std::size_t out_size, const char *text);

// The same, in place (the log form is never longer than the text).
void make_log_safe(char *text);

}  // namespace zorvik
