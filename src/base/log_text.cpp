#include "base/log_text.hpp"

namespace zorvik {

namespace {

char log_safe_byte(char c)
{
    const auto byte = static_cast<unsigned char>(c);
    return byte < 0x20 || byte == 0x7F ? '?' : c;
}

}  // namespace

const char *log_text(char *out, std::size_t out_size, const char *text)
{
    std::size_t i = 0;
    for (; i + 1 < out_size && text[i] != '\0'; ++i) {
        out[i] = log_safe_byte(text[i]);
    }
    out[i] = '\0';
    return out;
}

void make_log_safe(char *text)
{
    for (; *text != '\0'; ++text) {
        *text = log_safe_byte(*text);
    }
}

}  // namespace zorvik
