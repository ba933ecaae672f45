#include "base/text.hpp"

#include <cstring>

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

bool is_quoted_token(const char *token)
{
    return token[0] == '"' && std::strlen(token) >= 2;
}

std::size_t unquote_token(const char *token, char (&text)[TOX_MAX_MESSAGE_LENGTH])
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
