// Helpers shared by the fuzz targets: an invariant check that names what was
// expected and what came, and NUL-terminated copies of fuzz input sized so
// that AddressSanitizer catches any read past the terminator.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

// On failure prints the condition and a formatted explanation, then aborts;
// libFuzzer saves the input that led there as a crash artifact. The format
// is always a literal of the fuzz target, never input text.
#define FUZZ_CHECK(condition, ...)                                                                  \
    do {                                                                                            \
        if (!(condition)) {                                                                         \
            std::fprintf(stderr, "\ninvariant broken at %s:%d: %s\n", __FILE__, __LINE__, #condition); \
            std::fprintf(stderr, __VA_ARGS__);                                                      \
            std::fputc('\n', stderr);                                                               \
            std::abort();                                                                           \
        }                                                                                           \
    } while (0)

namespace fuzz {

// A heap copy of text plus its NUL, in a block of exactly that size.
class ExactText {
public:
    explicit ExactText(std::string_view text)
        : length_(text.size()), data_(static_cast<char *>(std::malloc(text.size() + 1)))
    {
        if (data_ == nullptr) {
            std::abort();
        }
        if (length_ > 0) {
            std::memcpy(data_, text.data(), length_);
        }
        data_[length_] = '\0';
    }
    ~ExactText() { std::free(data_); }
    ExactText(const ExactText &) = delete;
    ExactText &operator=(const ExactText &) = delete;

    char *get() const { return data_; }
    std::size_t length() const { return length_; }

private:
    std::size_t length_;
    char *data_;
};

// The input up to its first NUL byte, as the daemon sees a C string.
inline std::string_view up_to_nul(const std::uint8_t *data, std::size_t size)
{
    const auto *text = reinterpret_cast<const char *>(data);
    const void *nul = std::memchr(text, '\0', size);
    return {text, nul == nullptr ? size : static_cast<std::size_t>(static_cast<const char *>(nul) - text)};
}

// Printable form of a short text for failure messages: non-printing bytes
// as \xNN, cut after `limit` bytes.
inline std::string escaped(std::string_view text, std::size_t limit = 200)
{
    std::string out;
    for (std::size_t i = 0; i < text.size() && i < limit; ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c >= 0x20 && c < 0x7f && c != '\\') {
            out += static_cast<char>(c);
        } else {
            char code[8];
            std::snprintf(code, sizeof code, "\\x%02x", c);
            out += code;
        }
    }
    if (text.size() > limit) {
        out += "...";
    }
    return out;
}

}  // namespace fuzz
