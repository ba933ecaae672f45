#include "commands/replies.hpp"

#include <cstdio>
#include <cstring>

#include "base/log_text.hpp"

namespace zorvik {

std::uint16_t clamp_length_u16(std::size_t length)
{
    return length > UINT16_MAX ? UINT16_MAX : static_cast<std::uint16_t>(length);
}

std::uint16_t copy_message_text(char *destination, std::size_t size, const std::uint8_t *text,
                                std::uint16_t length)
{
    if (size == 0) {
        return 0;
    }
    std::size_t n = length;
    if (n > size - 1) {
        n = size - 1;
    }
    if (n > 0) {
        std::memcpy(destination, text, n);
    }
    destination[n] = '\0';
    return static_cast<std::uint16_t>(n);
}

void reply_text(Tox *tox, std::uint32_t friend_number, const char *text)
{
    const auto *bytes = reinterpret_cast<const std::uint8_t *>(text);
    tox_friend_send_message(tox, friend_number, TOX_MESSAGE_TYPE_NORMAL, bytes, std::strlen(text), nullptr);
}

void reply_error(Tox *tox, std::uint32_t friend_number, const char *text, std::int32_t code)
{
    char reply[max_message_length];
    std::snprintf(reply, sizeof reply, "%s (error %d)", text, code);
    reply_text(tox, friend_number, reply);
}

void friend_display_name(const Tox *tox, std::uint32_t friend_number, DisplayName &name)
{
    name[0] = '\0';
    // Ask for the size first: the library writes the whole name into the
    // buffer, so a name that would not fit is never fetched.
    const std::size_t size = tox_friend_get_name_size(tox, friend_number, nullptr);
    if (size == SIZE_MAX || size > max_name_length) {
        return;
    }
    if (!tox_friend_get_name(tox, friend_number, reinterpret_cast<std::uint8_t *>(name), nullptr)) {
        name[0] = '\0';
        return;
    }
    name[size] = '\0';
    // The name only ever goes into log lines, where a line feed or an escape
    // sequence of a stranger's choosing must not land raw.
    make_log_safe(name);
}

bool is_quoted_token(const char *token)
{
    return token[0] == '"' && std::strlen(token) >= 2;
}

std::size_t unquote_token(const char *token, char (&text)[max_message_length])
{
    std::size_t length = std::strlen(token) - 2;
    if (length > sizeof text - 1) {
        length = sizeof text - 1;
    }
    std::memcpy(text, token + 1, length);
    text[length] = '\0';
    return length;
}

std::int64_t parse_leading_integer(const char *text)
{
    const char *p = text;
    while (*p == ' ' || (*p >= '\t' && *p <= '\r')) {
        ++p;
    }
    bool negative = false;
    if (*p == '+' || *p == '-') {
        negative = *p == '-';
        ++p;
    }
    // Digits beyond the 64-bit range are held at a value far outside the
    // 32-bit range, which is all any caller needs to know.
    constexpr std::int64_t ceiling = INT64_C(1) << 40;
    std::int64_t value = 0;
    while (*p >= '0' && *p <= '9') {
        if (value < ceiling) {
            value = value * 10 + (*p - '0');
        }
        ++p;
    }
    return negative ? -value : value;
}

bool parse_group_number(const char *text, std::int32_t *number)
{
    const std::int64_t value = parse_leading_integer(text);
    if (value < INT32_MIN || value > INT32_MAX) {
        return false;
    }
    if (value == 0 && std::strcmp(text, "0") != 0) {
        return false;
    }
    *number = static_cast<std::int32_t>(value);
    return true;
}

}  // namespace zorvik
