// Fuzz target: arbitrary sequences of group_add, group_find and group_remove
// checked after every step against a plain model of the slots (lowest free
// slot reused, free slots trimmed from the end, lowest in-use match found,
// password cut to 63 characters) and against the registry's invariants
// (free slots all zero, the last scanned slot in use).
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "fuzz_support.hpp"
#include "groups/registry.hpp"

namespace {

using zorvik::GroupRecord;

struct ModelRecord {
    std::uint32_t conference_number;
    std::uint8_t kind;
    bool password_protected;
    std::string password;
};

struct Model {
    std::vector<std::optional<ModelRecord>> slots;

    std::int32_t find(std::uint32_t number) const
    {
        for (std::size_t i = 0; i < slots.size(); ++i) {
            if (slots[i] && slots[i]->conference_number == number) {
                return static_cast<std::int32_t>(i);
            }
        }
        return -1;
    }

    void add(std::uint32_t number, std::uint8_t kind, const std::optional<std::string> &password)
    {
        std::size_t i = 0;
        while (i < slots.size() && slots[i]) {
            ++i;
        }
        if (i == slots.size()) {
            slots.emplace_back();
        }
        ModelRecord record{number, kind, password.has_value(), {}};
        if (password) {
            record.password = password->substr(0, std::strlen(password->c_str())).substr(0, 63);
        }
        slots[i] = record;
    }

    void remove(std::uint32_t number)
    {
        const std::int32_t found = find(number);
        if (found >= 0) {
            slots[static_cast<std::size_t>(found)].reset();
        }
        while (!slots.empty() && !slots.back()) {
            slots.pop_back();
        }
    }
};

// Conference numbers come mostly from a small range so that duplicates and
// reuse happen; two large values stand for negative numbers typed by a user.
std::uint32_t pick_number(FuzzedDataProvider &input)
{
    switch (const auto n = input.ConsumeIntegralInRange<std::uint32_t>(0, 9)) {
    case 8:
        return UINT32_MAX;
    case 9:
        return 0x80000000u;
    default:
        return n;
    }
}

// One comparison call instead of a byte loop keeps the harness cheap under
// the comparison tracing of the fuzzer build.
bool all_zero(const void *block, std::size_t size)
{
    static const GroupRecord zero_record{};
    return size <= sizeof zero_record && std::memcmp(block, &zero_record, size) == 0;
}

void check_registry(const Model &model, std::size_t step)
{
    const auto expected_slots = static_cast<std::int32_t>(model.slots.size());
    FUZZ_CHECK(zorvik::group_slot_count() == expected_slots, "step %zu: slot count expected %d, got %d", step,
               expected_slots, zorvik::group_slot_count());
    if (expected_slots > 0) {
        FUZZ_CHECK(zorvik::group_at(expected_slots - 1).in_use != 0, "step %zu: last scanned slot %d is free", step,
                   expected_slots - 1);
    }
    for (std::int32_t i = 0; i < expected_slots; ++i) {
        const GroupRecord &slot = zorvik::group_at(i);
        const std::optional<ModelRecord> &expected = model.slots[static_cast<std::size_t>(i)];
        if (!expected) {
            FUZZ_CHECK(all_zero(&slot, sizeof slot), "step %zu: free slot %d is not all zero", step, i);
            continue;
        }
        const ModelRecord &record = *expected;
        FUZZ_CHECK(slot.in_use != 0, "step %zu: slot %d expected in use, got free", step, i);
        FUZZ_CHECK(slot.conference_number == record.conference_number,
                   "step %zu: slot %d expected conference %u, got %u", step, i, record.conference_number,
                   slot.conference_number);
        FUZZ_CHECK(slot.kind == record.kind, "step %zu: slot %d expected kind %u, got %u", step, i,
                   static_cast<unsigned>(record.kind), static_cast<unsigned>(slot.kind));
        FUZZ_CHECK((slot.password_protected != 0) == record.password_protected,
                   "step %zu: slot %d expected password_protected %d, got %u", step, i,
                   record.password_protected ? 1 : 0, static_cast<unsigned>(slot.password_protected));
        FUZZ_CHECK(slot.title_length == 0 && all_zero(slot.title, sizeof slot.title),
                   "step %zu: slot %d expected no title after group_add", step, i);
        const void *nul = std::memchr(slot.password, '\0', sizeof slot.password);
        FUZZ_CHECK(nul != nullptr, "step %zu: slot %d password has no NUL within %zu bytes", step, i,
                   sizeof slot.password);
        if (!record.password_protected) {
            FUZZ_CHECK(all_zero(slot.password, sizeof slot.password),
                       "step %zu: slot %d has no password but its field is not all zero", step, i);
            continue;
        }
        const std::string stored(slot.password);
        FUZZ_CHECK(stored == record.password, "step %zu: slot %d password expected \"%s\", got \"%s\"", step, i,
                   fuzz::escaped(record.password).c_str(), fuzz::escaped(stored).c_str());
    }
}

void check_find_all(const Model &model, std::size_t step)
{
    constexpr std::uint32_t probes[] = {0, 1, 2, 3, 4, 5, 6, 7, UINT32_MAX, 0x80000000u, 12345};
    for (const std::uint32_t number : probes) {
        const std::int32_t expected = model.find(number);
        const std::int32_t found = zorvik::group_find(number);
        FUZZ_CHECK(found == expected, "step %zu: group_find(%u) expected %d, got %d", step, number, expected, found);
    }
}

void reset_registry()
{
    zorvik::registry_clear();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    reset_registry();
    FuzzedDataProvider input(data, size);
    Model model;
    constexpr std::size_t max_steps = 128;
    for (std::size_t step = 0; step < max_steps && input.remaining_bytes() > 0; ++step) {
        switch (input.ConsumeIntegralInRange<int>(0, 2)) {
        case 0: {
            const std::uint32_t number = pick_number(input);
            const auto kind = static_cast<std::uint8_t>(input.ConsumeBool() ? 1 : 0);
            std::optional<std::string> password;
            if (input.ConsumeBool()) {
                // Lengths past 63 and NUL bytes inside are both wanted.
                password = input.ConsumeBytesAsString(input.ConsumeIntegralInRange<std::size_t>(0, 100));
            }
            const std::int32_t result = zorvik::group_add(number, kind, password ? password->c_str() : nullptr);
            FUZZ_CHECK(result == 0, "step %zu: group_add(%u) expected 0, got %d", step, number, result);
            model.add(number, kind, password);
            break;
        }
        case 1: {
            const std::uint32_t number = pick_number(input);
            const std::int32_t expected = model.find(number);
            const std::int32_t found = zorvik::group_find(number);
            FUZZ_CHECK(found == expected, "step %zu: group_find(%u) expected %d, got %d", step, number, expected,
                       found);
            break;
        }
        default: {
            const std::uint32_t number = pick_number(input);
            zorvik::group_remove(number);
            model.remove(number);
            break;
        }
        }
        check_registry(model, step);
        check_find_all(model, step);
    }
    reset_registry();
    return 0;
}
