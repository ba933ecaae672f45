// Fuzz target: parse_public_key against a reference decoder. The text sits
// in a block of exactly its length plus the NUL, so a read past the text is
// an AddressSanitizer report.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
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

// The key from the first 64 characters, two digits per byte, or nothing
// when one of them is not a hexadecimal digit (a shorter text among them).
std::optional<std::vector<std::uint8_t>> reference_key(std::string_view text)
{
    if (text.size() < 64) {
        return std::nullopt;
    }
    std::vector<std::uint8_t> bytes;
    for (std::size_t at = 0; at < 64; at += 2) {
        const int high = digit_value(text[at]);
        const int low = digit_value(text[at + 1]);
        if (high < 0 || low < 0) {
            return std::nullopt;
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

    std::uint8_t key[32];
    std::memset(key, 0xA5, sizeof key);
    const bool parsed = zorvik::parse_public_key(text.get(), key);
    const std::optional<std::vector<std::uint8_t>> expected = reference_key(view);
    FUZZ_CHECK(parsed == expected.has_value(), "parse_public_key(\"%s\"): expected %s, got %s", shown.c_str(),
               expected ? "a key" : "no key", parsed ? "one" : "none");
    if (parsed) {
        for (std::size_t i = 0; i < sizeof key; ++i) {
            FUZZ_CHECK(key[i] == (*expected)[i], "parse_public_key(\"%s\"): byte %zu expected 0x%02x, got 0x%02x",
                       shown.c_str(), i, (*expected)[i], key[i]);
        }
    }
    return 0;
}
