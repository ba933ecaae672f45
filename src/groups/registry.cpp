#include "groups/registry.hpp"

#include <array>
#include <cstring>

namespace zorvik {

namespace {

std::array<GroupRecord, max_conferences> slots{};
std::int32_t scanned = 0;

// Every byte zero, padding included, as a free slot is.
void zero_slot(GroupRecord &slot)
{
    std::memset(&slot, 0, sizeof slot);
}

void store_password(GroupRecord &slot, const char *password)
{
    std::memset(slot.password, 0, sizeof slot.password);
    slot.password_protected = password != nullptr ? 1 : 0;
    if (password != nullptr) {
        std::strncpy(slot.password, password, sizeof slot.password - 1);  // last byte stays 0
    }
}

}  // namespace

std::int32_t group_slot_count()
{
    return scanned;
}

const GroupRecord &group_at(std::int32_t slot)
{
    return slots[static_cast<std::size_t>(slot)];
}

std::int32_t group_add(std::uint32_t conference_number, std::uint8_t kind, const char *password)
{
    std::size_t i = 0;
    while (i < slots.size() && slots[i].in_use != 0) {
        ++i;
    }
    if (i == slots.size()) {
        return -1;
    }
    GroupRecord &slot = slots[i];
    zero_slot(slot);
    slot.conference_number = conference_number;
    slot.in_use = 1;
    slot.kind = kind;
    store_password(slot, password);
    if (static_cast<std::int32_t>(i) >= scanned) {
        scanned = static_cast<std::int32_t>(i) + 1;
    }
    return 0;
}

std::int32_t group_find(std::uint32_t conference_number)
{
    for (std::int32_t i = 0; i < scanned; ++i) {
        const GroupRecord &slot = slots[static_cast<std::size_t>(i)];
        if (slot.in_use != 0 && slot.conference_number == conference_number) {
            return i;
        }
    }
    return -1;
}

void group_set_title(std::int32_t slot, const char *title, std::size_t length)
{
    GroupRecord &group = slots[static_cast<std::size_t>(slot)];
    const std::size_t stored = length < max_name_length ? length : max_name_length;
    std::memcpy(group.title, title, stored);
    group.title[stored] = '\0';
    group.title_length = static_cast<std::uint32_t>(stored);
}

void group_set_password(std::int32_t slot, const char *password)
{
    store_password(slots[static_cast<std::size_t>(slot)], password);
}

void group_set_creator(std::int32_t slot, const std::uint8_t *public_key)
{
    GroupRecord &group = slots[static_cast<std::size_t>(slot)];
    std::memcpy(group.creator, public_key, sizeof group.creator);
    group.has_creator = 1;
}

std::int32_t groups_created_by(const std::uint8_t *public_key)
{
    std::int32_t count = 0;
    for (std::int32_t i = 0; i < scanned; ++i) {
        const GroupRecord &group = slots[static_cast<std::size_t>(i)];
        if (group.in_use != 0 && group.has_creator != 0 &&
            std::memcmp(group.creator, public_key, sizeof group.creator) == 0) {
            ++count;
        }
    }
    return count;
}

void group_remove(std::uint32_t conference_number)
{
    const std::int32_t found = group_find(conference_number);
    if (found >= 0) {
        zero_slot(slots[static_cast<std::size_t>(found)]);
    }
    while (scanned > 0 && slots[static_cast<std::size_t>(scanned - 1)].in_use == 0) {
        --scanned;
    }
}

void registry_clear()
{
    for (GroupRecord &slot : slots) {
        zero_slot(slot);
    }
    scanned = 0;
}

}  // namespace zorvik
