// Tox instances for in-process tests: refused outside the private network
// namespace, released on scope exit; a bot identity with one friend; the
// instance's save data.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include <tox/tox.h>

namespace zorvik::test {

struct ToxDeleter {
    void operator()(Tox *tox) const { tox_kill(tox); }
};
using ToxPtr = std::unique_ptr<Tox, ToxDeleter>;

// A new identity with IPv4 only and, unless asked, without LAN discovery;
// nothing is sent until someone iterates it. Null when the library refuses,
// or when the process is not inside the private namespace (tests assert on
// the result with tox_unavailable_reason()).
ToxPtr make_tox(bool local_discovery = false);

// Why make_tox gave null, for the assertion message.
const char *tox_unavailable_reason();

// A bot identity with one friend added without a request (nothing is sent):
// what the master check needs to look a friend's key up. `bot` or `other`
// is null when make_tox failed.
struct BotWithFriend {
    ToxPtr bot;
    ToxPtr other;
    std::string other_id;  // the friend's 76-digit Tox ID
    std::uint32_t friend_number = UINT32_MAX;
};
BotWithFriend make_bot_with_friend();

// What tox_get_savedata gives now, as bytes in a string.
std::string savedata_of(const Tox *tox);

}  // namespace zorvik::test
