// The group registry: what the bot knows about each conference it created or
// joined that the library does not keep for it (password, kind, last title,
// creator).
//
// Design notes. The registry is a fixed array of max_conferences slots owned
// by this file; nothing outside it writes a slot. Slots 0 ..
// group_slot_count()-1 are scanned. Invariants kept by the functions below:
//  - a free slot (in_use 0) has every field zero;
//  - slots never move: an entry keeps its index from group_add until
//    group_remove clears it, so a caller may walk the slots by index while
//    removing (the hourly sweep does);
//  - a new entry takes the lowest free slot;
//  - the last scanned slot is in use, or the range is empty: group_remove
//    trims free slots from the end;
//  - password holds at most 63 characters and a NUL, and is all zero while
//    password_protected is 0; title_length <= TOX_MAX_NAME_LENGTH.
// The bot holds at most max_conferences conferences (groups/conferences.hpp
// checks before it creates or joins one), so the array never runs out in
// use.
#pragma once

#include <cstddef>
#include <cstdint>

#include "bot_state.hpp"

namespace zorvik {

// The most conferences the bot holds at once. libtoxcore numbers
// conferences with 16 bits internally and crashes when the 65,536th is
// created; every conference also costs memory and idle CPU, and "info"
// answers with one line per conference. 1,000 keeps a community's rooms
// well within reach while bounding those costs (about 2 MiB of memory and
// one "info" of 1,004 lines).
inline constexpr std::uint32_t max_conferences = 1000;

// One slot of the registry.
struct GroupRecord {
    std::uint32_t conference_number;
    std::uint8_t in_use;
    std::uint8_t password_protected;
    std::uint8_t kind;  // 0 text, 1 audio
    char title[max_name_length + 1];
    std::uint32_t title_length;
    char password[password_size];
    // The friend whose "group" created the conference, by public key (a
    // friend number can pass to another friend); for the per-friend quota.
    std::uint8_t has_creator;
    std::uint8_t creator[public_key_size];
};

// How many slots are scanned (the highest in-use slot plus one).
std::int32_t group_slot_count();

// The slot at `slot`, 0 <= slot < group_slot_count(); read-only.
const GroupRecord &group_at(std::int32_t slot);

// Registers a conference in the lowest free slot; `password` may be null
// (no password) and is cut to 63 characters. Returns 0, or -1 when every
// slot is taken.
std::int32_t group_add(std::uint32_t conference_number, std::uint8_t kind, const char *password);

// Index of the lowest in-use slot holding `conference_number`, or -1.
std::int32_t group_find(std::uint32_t conference_number);

// Stores the first min(length, TOX_MAX_NAME_LENGTH) bytes of `title` as the
// title of the in-use slot at `slot`, NUL-terminated, and their count as
// title_length.
void group_set_title(std::int32_t slot, const char *title, std::size_t length);

// Sets the password of the in-use slot at `slot`, cut to 63 characters, or
// clears it when `password` is null.
void group_set_password(std::int32_t slot, const char *password);

// Records `public_key` as the creator of the in-use slot at `slot`.
void group_set_creator(std::int32_t slot, const std::uint8_t *public_key);

// How many in-use slots name `public_key` as their creator.
std::int32_t groups_created_by(const std::uint8_t *public_key);

// Clears the lowest in-use slot holding `conference_number` (if any), then
// trims free slots from the end.
void group_remove(std::uint32_t conference_number);

// Frees every slot (the start-up state; shutdown and tests).
void registry_clear();

}  // namespace zorvik
