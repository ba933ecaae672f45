// The friend limit: the bot accepts every friend request, and every friend
// costs the library memory (about half a MiB for each friend who is online
// or was found once), so the number of friends is capped. A request at the
// cap replaces the friend who has been offline the longest.
#pragma once

#include <cstddef>
#include <cstdint>

#include <tox/tox.h>

namespace zorvik {

// The most friends the bot holds. Sized so that this many friends, all
// online at once, stay well inside the service units' memory limit (the
// measurements and the margin are in docs/design.md).
constexpr std::size_t max_friends = 500;

// Decides whether a request from `public_key` may be accepted while the bot
// holds at most `limit` friends. Below the limit, or for a key that is
// already a friend, it may, and nothing happens. At or over the limit the
// friend who may be replaced is deleted first and named on standard output:
// one offline now, not a master, with the oldest last-online time (a friend
// never seen online counts as oldest; among equals, the lowest number). When
// there is none the request is declined with a line on standard error and
// nothing is deleted. Returns true when the request may be accepted.
bool make_room_for_friend(Tox *tox, const std::uint8_t *public_key, std::size_t limit);

}  // namespace zorvik
