// The group registry: what the bot knows about each conference it created or
// joined that the library does not keep for it (password, kind, last title).
//
// Design notes. The registry is one growable array of GroupRecord slots in
// bot_state.groups; bot_state.group_slots slots (0 .. group_slots-1) are
// scanned. Invariants kept by the functions below:
//  - a free slot (in_use 0) has every field zero;
//  - slots never move: an entry keeps its index from group_add until
//    group_remove clears it, so a caller may walk the slots by index while
//    removing (the hourly sweep does);
//  - the last scanned slot is in use, or the range is empty: group_remove
//    trims free slots from the end;
//  - the array holds at least group_slots slots: after a group_add that
//    reused a free slot in the middle it holds one more, zeroed, slot, which
//    the next group_remove gives back;
//  - password holds at most 63 characters and a NUL, and is all zero while
//    password_protected is 0; title_length <= TOX_MAX_NAME_LENGTH.
// The array may move in memory on every resize: hold indexes, not pointers.
#pragma once

#include <cstddef>
#include <cstdint>

namespace zorvik {

// Makes the array exactly `count` slots long, keeping the slots that remain
// and zeroing new ones; `count` <= 0 releases it and leaves groups null.
// Does not change group_slots. Out of memory ends the process (status 1).
void registry_resize(std::int32_t count);

// Registers a conference in the lowest free slot; `password` may be null
// (no password) and is cut to 63 characters. Returns 0, or -1 when
// group_slots is negative (which no sequence of operations produces).
std::int32_t group_add(std::uint32_t conference_number, std::uint8_t kind, const char *password);

// Index of the lowest in-use slot holding `conference_number`, or -1.
std::int32_t group_find(std::uint32_t conference_number);

// Stores the first min(length, TOX_MAX_NAME_LENGTH) bytes of `title` as the
// title of the in-use slot at `slot`, NUL-terminated, and their count as
// title_length.
void group_set_title(std::int32_t slot, const char *title, std::size_t length);

// Records `public_key` as the creator of the in-use slot at `slot`.
void group_set_creator(std::int32_t slot, const std::uint8_t *public_key);

// How many in-use slots name `public_key` as their creator.
std::int32_t groups_created_by(const std::uint8_t *public_key);

// Clears the lowest in-use slot holding `conference_number` (if any), then
// trims free slots from the end and resizes the array to group_slots.
void group_remove(std::uint32_t conference_number);

}  // namespace zorvik
