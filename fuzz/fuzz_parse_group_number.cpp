// Fuzz target: parse_group_number and parse_leading_integer against strtoll.
// The text is the input up to its first NUL, in a block of exactly its size.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "base/text.hpp"
#include "fuzz_support.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const fuzz::ExactText text(fuzz::up_to_nul(data, size));
    const std::string shown = fuzz::escaped(text.get());

    // strtoll follows the atoi rule (white space, sign, decimal digits) and
    // holds values beyond the 64-bit range at its limits.
    const long long reference = std::strtoll(text.get(), nullptr, 10);
    const bool in_range = reference >= INT32_MIN && reference <= INT32_MAX;
    const bool expected_valid = in_range && !(reference == 0 && std::strcmp(text.get(), "0") != 0);

    constexpr std::int32_t untouched = 0x5EED;
    std::int32_t number = untouched;
    const bool valid = zorvik::parse_group_number(text.get(), &number);
    FUZZ_CHECK(valid == expected_valid, "parse_group_number(\"%s\"): expected %s (strtoll gives %lld), got %s",
               shown.c_str(), expected_valid ? "valid" : "invalid", reference, valid ? "valid" : "invalid");
    if (valid) {
        FUZZ_CHECK(number == reference, "parse_group_number(\"%s\"): expected %lld, got %d", shown.c_str(), reference,
                   number);
    }

    // Values far outside the 32-bit range only need to stay far outside it,
    // on the right side.
    const std::int64_t leading = zorvik::parse_leading_integer(text.get());
    constexpr long long far = 1LL << 40;
    if (reference > -far && reference < far) {
        FUZZ_CHECK(leading == reference, "parse_leading_integer(\"%s\"): expected %lld, got %lld", shown.c_str(),
                   reference, static_cast<long long>(leading));
    } else {
        FUZZ_CHECK((reference > 0 && leading > INT32_MAX) || (reference < 0 && leading < INT32_MIN),
                   "parse_leading_integer(\"%s\"): expected a value beyond the 32-bit range like %lld, got %lld",
                   shown.c_str(), reference, static_cast<long long>(leading));
    }
    return 0;
}
