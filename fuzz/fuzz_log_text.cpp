// Fuzz target: log_text and make_log_safe. Whatever the input, the log form
// is valid UTF-8 without control characters, never longer than the input,
// the same in place as copied, and a prefix of itself in a smaller buffer;
// input that is already such text comes out unchanged. The UTF-8 check here
// decodes code points and compares encodings, independently of the daemon's
// byte-range tables.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "base/log_text.hpp"
#include "fuzz_support.hpp"

namespace {

// Bytes of the shortest UTF-8 encoding of code point `cp`.
std::size_t encoded_length(std::uint32_t cp)
{
    return cp < 0x80 ? 1 : cp < 0x800 ? 2 : cp < 0x10000 ? 3 : 4;
}

// True when `text` is valid UTF-8 and holds no C0, DEL or C1 control.
bool is_clean_utf8(std::string_view text)
{
    std::size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<unsigned char>(text[i]);
        std::size_t length = lead < 0x80 ? 1 : (lead >> 5) == 0x6 ? 2 : (lead >> 4) == 0xE ? 3 : (lead >> 3) == 0x1E ? 4 : 0;
        if (length == 0 || i + length > text.size()) {
            return false;
        }
        std::uint32_t cp = length == 1 ? lead : lead & (0x7Fu >> length);
        for (std::size_t k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            if ((next >> 6) != 0x2) {
                return false;
            }
            cp = (cp << 6) | (next & 0x3Fu);
        }
        const bool overlong = encoded_length(cp) != length;
        const bool surrogate = cp >= 0xD800 && cp <= 0xDFFF;
        const bool control = cp < 0x20 || (cp >= 0x7F && cp <= 0x9F);
        if (overlong || surrogate || cp > 0x10FFFF || control) {
            return false;
        }
        i += length;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const fuzz::ExactText text(fuzz::up_to_nul(data, size));
    const std::string shown = fuzz::escaped(text.get());

    std::string full(text.length() + 1, '#');
    zorvik::log_text(full.data(), full.size(), text.get());
    full.resize(std::strlen(full.c_str()));
    FUZZ_CHECK(full.size() <= text.length(), "log_text(\"%s\") grew to %zu bytes", shown.c_str(), full.size());
    FUZZ_CHECK(is_clean_utf8(full), "log_text(\"%s\") gave \"%s\", not clean UTF-8", shown.c_str(),
               fuzz::escaped(full).c_str());
    if (is_clean_utf8(text.get())) {
        FUZZ_CHECK(full == text.get(), "log_text(\"%s\") changed clean text into \"%s\"", shown.c_str(),
                   fuzz::escaped(full).c_str());
    }

    const fuzz::ExactText in_place(text.get());
    zorvik::make_log_safe(in_place.get());
    FUZZ_CHECK(full == in_place.get(), "make_log_safe(\"%s\") gave \"%s\", log_text \"%s\"", shown.c_str(),
               fuzz::escaped(in_place.get()).c_str(), fuzz::escaped(full).c_str());

    // A smaller buffer, its last byte a guard: a prefix, never written past.
    const std::size_t small_size = 1 + size % 16;
    std::string small(small_size + 1, '#');
    zorvik::log_text(small.data(), small_size, text.get());
    FUZZ_CHECK(small[small_size] == '#', "log_text(\"%s\") wrote past a buffer of %zu", shown.c_str(), small_size);
    const std::string cut(small.c_str());
    FUZZ_CHECK(full.compare(0, cut.size(), cut) == 0 && is_clean_utf8(cut),
               "log_text(\"%s\") in %zu bytes gave \"%s\", not a clean prefix of \"%s\"", shown.c_str(), small_size,
               fuzz::escaped(cut).c_str(), fuzz::escaped(full).c_str());
    return 0;
}
