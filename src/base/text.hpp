// Text helpers shared by the event handlers and the commands: bounded
// copies of library texts, numbers typed by friends, quoted tokens.
#pragma once

#include <cstddef>
#include <cstdint>

#include <tox/tox.h>

namespace zorvik {

// Copies min(length, size - 1) bytes of a library text into `destination`,
// NUL bytes included, and terminates it; returns the number copied.
std::uint16_t copy_message_text(char *destination, std::size_t size, const std::uint8_t *text,
                                std::uint16_t length);

// Library lengths are size_t; texts handed to copy_message_text travel as
// unsigned 16-bit counts, so larger values are held at the largest count.
std::uint16_t clamp_length_u16(std::size_t length);

// Reads a conference number typed by a friend by the atoi rule (leading
// white space, optional sign, digits). Returns false for text whose value is
// 0 unless the text is exactly "0", and for values outside the signed 32-bit
// range; *number receives the value when true.
bool parse_group_number(const char *text, std::int32_t *number);

// The atoi rule with a 64-bit result, for callers that clamp themselves.
std::int64_t parse_leading_integer(const char *text);

// True when a token is a quoted one: the tokenizer keeps both quotes of a
// quoted token, so it begins with a double quote and is at least 2 bytes.
bool is_quoted_token(const char *token);

// Copies the text between the quotes of a quoted token into `text` and
// returns its length; a token is shorter than the buffer, so nothing is cut.
std::size_t unquote_token(const char *token, char (&text)[TOX_MAX_MESSAGE_LENGTH]);

}  // namespace zorvik
