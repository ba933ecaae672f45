// Tox instances for in-process tests: refused outside the private network
// namespace, released on scope exit; a bot identity with one friend; the
// instance's save data and the sections in it.
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

// An instance like make_tox's, loaded from save data; null on failure.
ToxPtr make_tox_from(const std::string &save);

// Fills `key` with a random 32-byte string the library accepts as a public
// key (the last byte's top bit clear); `seed` moves on.
void random_public_key(std::uint8_t (&key)[TOX_PUBLIC_KEY_SIZE], std::uint64_t &seed);

// Where the section of type `type` begins (at its 8-byte header) in save
// data, walking the sections from the start; the end marker's type, 255,
// finds the marker. std::string::npos when the walk meets the end marker
// first or runs off the data. (Save data: an 8-byte header, then sections
// of a 32-bit length, a 16-bit type, a 16-bit section cookie, all
// little-endian, and `length` bytes of content.)
std::size_t save_section_at(const std::string &save, std::uint16_t type);

// A section of type `type` holding `content`, to insert into save data.
std::string save_section(std::uint16_t type, const std::string &content);

// Sets, in save data, the last-online time of the friend whose record holds
// `public_key`, looking for the key from byte `from` on. Returns where the
// key stands, or std::string::npos when it is not there. (The library keeps
// no setter for the time; loading the patched data shows whether it took.)
std::size_t patch_last_online(std::string &save, std::size_t from, const std::uint8_t *public_key,
                              std::uint64_t last_online);

}  // namespace zorvik::test
