// Text and reply operations shared by the event handlers and every command.
#pragma once

#include <cstddef>
#include <cstdint>

#include <tox/tox.h>

#include "bot_state.hpp"

namespace zorvik {

// Copies min(length, size - 1) bytes of a library text into `destination`,
// NUL bytes included, and terminates it; returns the number copied.
std::uint16_t copy_message_text(char *destination, std::size_t size, const std::uint8_t *text,
                                std::uint16_t length);

// Library lengths are size_t; texts handed to copy_message_text travel as
// unsigned 16-bit counts, so larger values are held at the largest count.
std::uint16_t clamp_length_u16(std::size_t length);

// Sends `text` (without its NUL) to the friend as one normal message; the
// result of the send is ignored.
void reply_text(Tox *tox, std::uint32_t friend_number, const char *text);

// Sends "<text> (error <code>)", cut to 1371 bytes.
void reply_error(Tox *tox, std::uint32_t friend_number, const char *text, std::int32_t code);

// Buffer type for a friend's name, as shown in log lines.
using DisplayName = char[max_name_length + 1];

// Fills `name` with the friend's name, NUL-terminated, for a log line: its
// control bytes are replaced (see log_text). The empty text when the library
// cannot report it.
void friend_display_name(const Tox *tox, std::uint32_t friend_number, DisplayName &name);

// Reads a conference number typed by a friend by the atoi rule (leading
// white space, optional sign, digits). Returns false for text whose value is
// 0 unless the text is exactly "0", and for values outside the signed 32-bit
// range; *number receives the value when true.
bool parse_group_number(const char *text, std::int32_t *number);

// True when a token is a quoted one: the tokenizer keeps both quotes of a
// quoted token, so it begins with a double quote and is at least 2 bytes.
bool is_quoted_token(const char *token);

// Copies the text between the quotes of a quoted token into `text` and
// returns its length; a token is shorter than the buffer, so nothing is cut.
std::size_t unquote_token(const char *token, char (&text)[max_message_length]);

// The atoi rule with a 64-bit result, for callers that clamp themselves.
std::int64_t parse_leading_integer(const char *text);

}  // namespace zorvik
