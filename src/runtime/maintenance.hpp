// The two hourly housekeeping jobs, run by the main loop between library
// iterations: the friend purge and the sweep of empty conferences.
#pragma once

#include <cstdint>

#include <tox/tox.h>

namespace zorvik {

// True when a friend last online at `last_online` is absent for longer than
// `limit` at `now`. A last-online time after `now` (the clock was set back)
// keeps the friend.
bool is_friend_stale(std::uint64_t now, std::uint64_t last_online, std::uint64_t limit);

// Deletes every friend offline longer than bot_state.inactive_limit_seconds,
// then saves (also when nothing was deleted or there are no friends).
void remove_stale_friends(Tox *tox);

// Leaves every registered conference with fewer than two peers (or whose
// peer count cannot be read), logging "Deleting empty group %i".
void sweep_empty_groups(Tox *tox);

}  // namespace zorvik
