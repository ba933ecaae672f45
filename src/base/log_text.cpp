#include "base/log_text.hpp"

#include <cstring>

namespace zorvik {

namespace {

// Length (1 to 4) of the valid UTF-8 sequence that starts at `s`, or 0 when
// the bytes there are no such sequence: a stray continuation byte, an
// overlong form, a surrogate, a code point past U+10FFFF or a sequence cut
// short (by the NUL among others). Reads no byte past the first that fails.
std::size_t utf8_sequence_length(const unsigned char *s)
{
    const unsigned char lead = s[0];
    if (lead < 0x80) {
        return 1;
    }
    std::size_t length = 0;
    unsigned char low = 0x80;   // bounds of the second byte
    unsigned char high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        low = lead == 0xE0 ? 0xA0 : 0x80;   // no overlong form
        high = lead == 0xED ? 0x9F : 0xBF;  // no surrogate
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        low = lead == 0xF0 ? 0x90 : 0x80;   // no overlong form
        high = lead == 0xF4 ? 0x8F : 0xBF;  // nothing past U+10FFFF
    } else {
        return 0;
    }
    if (s[1] < low || s[1] > high) {
        return 0;
    }
    for (std::size_t i = 2; i < length; ++i) {
        if (s[i] < 0x80 || s[i] > 0xBF) {
            return 0;
        }
    }
    return length;
}

bool is_control(const unsigned char *s, std::size_t length)
{
    if (length == 1) {
        return s[0] < 0x20 || s[0] == 0x7F;
    }
    return length == 2 && s[0] == 0xC2 && s[1] <= 0x9F;  // U+0080 to U+009F
}

// Writes the log form of `text` into `out`, which may be `text` itself: each
// step writes no more bytes than it reads, so the writing never overtakes
// the reading. At most out_size - 1 bytes, then a NUL.
void write_log_form(char *out, std::size_t out_size, const char *text)
{
    const auto *in = reinterpret_cast<const unsigned char *>(text);
    std::size_t written = 0;
    while (*in != '\0') {
        const std::size_t length = utf8_sequence_length(in);
        const bool replaced = length == 0 || is_control(in, length);
        const std::size_t out_length = replaced ? 1 : length;
        if (written + out_length >= out_size) {
            break;
        }
        if (replaced) {
            out[written] = '?';
        } else {
            std::memmove(out + written, in, length);
        }
        written += out_length;
        in += length == 0 ? 1 : length;
    }
    out[written] = '\0';
}

}  // namespace

const char *log_text(char *out, std::size_t out_size, const char *text)
{
    write_log_form(out, out_size, text);
    return out;
}

void make_log_safe(char *text)
{
    write_log_form(text, std::strlen(text) + 1, text);
}

}  // namespace zorvik
