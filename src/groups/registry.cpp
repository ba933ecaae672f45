#include "groups/registry.hpp"

#include <cstdlib>
#include <cstring>

#include "bot_state.hpp"
#include "base/memory.hpp"

namespace zorvik {

namespace {

// Slots the array holds right now; group_slots may be one less after a
// reusing group_add.
std::int32_t allocated_slots = 0;

void zero_slot(std::int32_t index)
{
    std::memset(&bot_state.groups[index], 0, sizeof(GroupRecord));
}

}  // namespace

void registry_resize(std::int32_t count)
{
    if (count <= 0 || bot_state.groups == nullptr) {
        allocated_slots = 0;
    }
    if (count <= 0) {
        std::free(bot_state.groups);
        bot_state.groups = nullptr;
        return;
    }
    const auto bytes = static_cast<std::size_t>(count) * sizeof(GroupRecord);
    bot_state.groups = static_cast<GroupRecord *>(realloc_or_exit(bot_state.groups, bytes));
    for (std::int32_t i = allocated_slots; i < count; ++i) {
        zero_slot(i);
    }
    allocated_slots = count;
}

std::int32_t group_add(std::uint32_t conference_number, std::uint8_t kind, const char *password)
{
    const std::int32_t n = bot_state.group_slots;
    if (n < 0) {
        return -1;
    }
    registry_resize(n + 1);
    zero_slot(n);

    std::int32_t i = 0;
    while (bot_state.groups[i].in_use != 0) {  // slot n is free, so this ends
        ++i;
    }
    zero_slot(i);
    GroupRecord &slot = bot_state.groups[i];
    slot.conference_number = conference_number;
    slot.in_use = 1;
    slot.kind = kind;
    if (password != nullptr) {
        slot.password_protected = 1;
        std::strncpy(slot.password, password, sizeof slot.password - 1);  // last byte stays 0
    }
    if (i == n) {
        bot_state.group_slots = n + 1;
    }
    return 0;
}

std::int32_t group_find(std::uint32_t conference_number)
{
    for (std::int32_t i = 0; i < bot_state.group_slots; ++i) {
        const GroupRecord &slot = bot_state.groups[i];
        if (slot.in_use != 0 && slot.conference_number == conference_number) {
            return i;
        }
    }
    return -1;
}

void group_set_title(std::int32_t slot, const char *title, std::size_t length)
{
    GroupRecord &group = bot_state.groups[slot];
    const std::size_t stored = length < max_name_length ? length : max_name_length;
    std::memcpy(group.title, title, stored);
    group.title[stored] = '\0';
    group.title_length = static_cast<std::uint32_t>(stored);
}

void group_set_creator(std::int32_t slot, const std::uint8_t *public_key)
{
    GroupRecord &group = bot_state.groups[slot];
    std::memcpy(group.creator, public_key, sizeof group.creator);
    group.has_creator = 1;
}

std::int32_t groups_created_by(const std::uint8_t *public_key)
{
    std::int32_t count = 0;
    for (std::int32_t i = 0; i < bot_state.group_slots; ++i) {
        const GroupRecord &group = bot_state.groups[i];
        if (group.in_use != 0 && group.has_creator != 0 &&
            std::memcmp(group.creator, public_key, sizeof group.creator) == 0) {
            ++count;
        }
    }
    return count;
}

void group_remove(std::uint32_t conference_number)
{
    const std::int32_t n = bot_state.group_slots;
    if (n <= 0) {
        registry_resize(n);
        return;
    }
    const std::int32_t found = group_find(conference_number);
    if (found >= 0) {
        zero_slot(found);
    }
    std::int32_t count = n;
    while (count > 0 && bot_state.groups[count - 1].in_use == 0) {
        --count;
    }
    bot_state.group_slots = count;
    registry_resize(count);
}

}  // namespace zorvik
