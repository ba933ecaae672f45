// Fuzz target: master_line_matches(line, key) with the key taken from the
// input. Input layout: one control byte, 32 key bytes, then the line (up to
// its first NUL). Control bit 0 replaces key bytes with what the line's
// leading hex pairs decode to, so matches are common; bit 1 then flips one
// bit of the key byte chosen by bits 2..6, so near misses are common too.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "bot_state.hpp"
#include "fuzz_support.hpp"
#include "storage/master_list.hpp"

namespace {

using zorvik::public_key_size;

int digit_value(char c)
{
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

// Value of the byte at pair position i (characters 2i and 2i+1, or a lone
// last character), or -1 when it does not decode.
int pair_value(std::string_view line, std::size_t i)
{
    const std::size_t at = 2 * i;
    if (at >= line.size()) {
        return -1;
    }
    const int high = digit_value(line[at]);
    if (high < 0) {
        return -1;
    }
    if (at + 1 == line.size()) {
        return high;
    }
    const int low = digit_value(line[at + 1]);
    return low < 0 ? -1 : high * 16 + low;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size < 1 + public_key_size) {
        return 0;
    }
    const std::uint8_t control = data[0];
    std::uint8_t key[public_key_size];
    std::memcpy(key, data + 1, sizeof key);
    const fuzz::ExactText line(fuzz::up_to_nul(data + 1 + public_key_size, size - 1 - public_key_size));
    const std::string_view view(line.get(), line.length());

    int decoded[public_key_size];
    bool all_decode = true;
    for (std::size_t i = 0; i < public_key_size; ++i) {
        decoded[i] = pair_value(view, i);
        all_decode = all_decode && decoded[i] >= 0;
        if ((control & 1) != 0 && decoded[i] >= 0) {
            key[i] = static_cast<std::uint8_t>(decoded[i]);
        }
    }
    if ((control & 2) != 0) {
        key[(control >> 2) % public_key_size] ^= static_cast<std::uint8_t>(1u << (control >> 5));
    }
    bool decodes_to_key = all_decode;
    for (std::size_t i = 0; decodes_to_key && i < public_key_size; ++i) {
        decodes_to_key = decoded[i] == key[i];
    }

    bool first_64_hex = view.size() >= 2 * public_key_size;
    for (std::size_t i = 0; first_64_hex && i < 2 * public_key_size; ++i) {
        first_64_hex = digit_value(view[i]) >= 0;
    }

    const bool match = zorvik::master_line_matches(line.get(), key);
    const std::string shown = fuzz::escaped(view);

    // Lines of 32 characters or fewer are skipped without decoding.
    if (view.size() <= 32) {
        FUZZ_CHECK(!match, "line of %zu characters \"%s\": expected no match, got a match", view.size(),
                   shown.c_str());
        return 0;
    }
    // A line whose first 64 characters are hex digits matches exactly the
    // key they decode to.
    if (first_64_hex) {
        FUZZ_CHECK(match == decodes_to_key, "line \"%s\": expected %s, got %s", shown.c_str(),
                   decodes_to_key ? "a match" : "no match", match ? "a match" : "no match");
        return 0;
    }
    // Otherwise nothing matches, not even a line of exactly 63 hex digits
    // whose lone last digit would decode to the key's last byte.
    FUZZ_CHECK(!match, "line \"%s\" (%zu characters): expected no match, got a match", shown.c_str(),
               view.size());
    return 0;
}
