// The hourly friend purge, run by the main loop between library iterations
// (the other hourly job, the sweep of empty conferences, lives with the
// conferences in groups/conferences.hpp).
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

}  // namespace zorvik
