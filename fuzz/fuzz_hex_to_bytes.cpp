// Fuzz target: hex_to_bytes against a reference decoder. The text sits in a
// block of exactly its length plus the NUL, so a read past the text is an
// AddressSanitizer report; the result block must hold strlen(text) bytes.
#include <sanitizer/asan_interface.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "base/hex.hpp"
#include "fuzz_support.hpp"

namespace {

int digit_value(char c)
{
    constexpr std::string_view lower = "0123456789abcdef";
    constexpr std::string_view upper = "0123456789ABCDEF";
    if (const auto at = lower.find(c); c != '\0' && at != std::string_view::npos) {
        return static_cast<int>(at);
    }
    if (const auto at = upper.find(c); c != '\0' && at != std::string_view::npos) {
        return static_cast<int>(at);
    }
    return -1;
}

// Byte i from characters 2i and 2i+1, or from a lone last character; the
// first position with a character that is not a hex digit ends the decoding.
std::vector<std::uint8_t> reference_decode(std::string_view text)
{
    std::vector<std::uint8_t> bytes;
    for (std::size_t at = 0; at < text.size(); at += 2) {
        const int high = digit_value(text[at]);
        if (high < 0) {
            break;
        }
        if (at + 1 == text.size()) {
            bytes.push_back(static_cast<std::uint8_t>(high));
            break;
        }
        const int low = digit_value(text[at + 1]);
        if (low < 0) {
            break;
        }
        bytes.push_back(static_cast<std::uint8_t>(high << 4 | low));
    }
    return bytes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const fuzz::ExactText text(fuzz::up_to_nul(data, size));
    const std::string_view view(text.get(), text.length());
    const std::string shown = fuzz::escaped(view);

    std::size_t decoded = SIZE_MAX;
    std::uint8_t *bytes = zorvik::hex_to_bytes(text.get(), &decoded);
    FUZZ_CHECK(bytes != nullptr, "hex_to_bytes(\"%s\") returned null", shown.c_str());

    const std::size_t block = text.length() == 0 ? 1 : text.length();
    FUZZ_CHECK(__asan_region_is_poisoned(bytes, block) == nullptr,
               "hex_to_bytes(\"%s\"): expected a block of %zu usable bytes", shown.c_str(), block);

    const std::vector<std::uint8_t> expected = reference_decode(view);
    FUZZ_CHECK(decoded == expected.size(), "hex_to_bytes(\"%s\"): expected %zu bytes decoded, got %zu",
               shown.c_str(), expected.size(), decoded);
    for (std::size_t i = 0; i < expected.size(); ++i) {
        FUZZ_CHECK(bytes[i] == expected[i], "hex_to_bytes(\"%s\"): byte %zu expected 0x%02x, got 0x%02x",
                   shown.c_str(), i, expected[i], bytes[i]);
    }
    for (std::size_t i = expected.size(); i < text.length(); ++i) {
        FUZZ_CHECK(bytes[i] == 0, "hex_to_bytes(\"%s\"): undecoded byte %zu expected 0, got 0x%02x", shown.c_str(),
                   i, bytes[i]);
    }
    std::free(bytes);
    return 0;
}
