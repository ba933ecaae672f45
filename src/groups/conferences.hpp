// The conferences the library holds for the bot, as a whole: the cap on how
// many it may hold, the sweep of registered conferences where the bot is
// alone, and leaving all of them (at start and at shutdown).
#pragma once

#include <cstdint>

#include <tox/tox.h>

#include "groups/registry.hpp"

namespace zorvik {

// The most conferences one friend's "group" may have created and the bot
// still holds: without it, one stranger could fill the cap for everyone by
// keeping his rooms in use. A room counts until the bot leaves it (the
// sweep of empty rooms, "leave"). Masters are not limited.
inline constexpr std::int32_t max_groups_per_creator = 3;

// True when the library holds max_conferences or more conferences.
bool at_conference_cap(const Tox *tox);

// Leaves every registered conference with fewer than two peers (or whose
// peer count cannot be read), logging "Deleting empty group %i" on standard
// error and removing its registry slot. Conferences the registry does not
// hold are never touched.
void sweep_empty_groups(Tox *tox);

// Deletes every conference in the library's chat list; errors are ignored.
// The registry is not touched.
void delete_all_conferences(Tox *tox);

}  // namespace zorvik
