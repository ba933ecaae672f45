// Channels: the library's new-style group chats, which the bot founds and
// keeps across restarts (the library saves them). The library numbers them
// itself: a number freed by leaving is reused, and the numbers are closed up
// at the next start. It has no peer count, so the bot counts the peers it
// has seen join and leave since it started.
#pragma once

#include <cstddef>
#include <cstdint>

#include <tox/tox.h>

namespace zorvik {

// What channels cost is their members: an empty one is about 30 KiB, but
// every member is a connection of about 290 KiB (measured with 100 members
// in one channel), and anyone who has a public channel's chat ID may join.
// The bot founds every channel with a peer limit, so the members of all its
// channels stay below max_channels x channel_peer_limit = 400, about
// 116 MiB: what the units' memory limit has left beside 500 friends online
// and the reply budget, less a third for slack. To raise either, raise
// MemoryMax by about 290 KiB per member place.
inline constexpr std::uint32_t max_channels = 10;
inline constexpr std::uint16_t channel_peer_limit = 40;

// The library's limits, checked before it sees a text (it refuses longer
// ones rather than cutting them).
inline constexpr std::size_t longest_channel_name = TOX_GROUP_MAX_GROUP_NAME_LENGTH;      // 48
inline constexpr std::size_t longest_channel_topic = TOX_GROUP_MAX_TOPIC_LENGTH;          // 512
inline constexpr std::size_t longest_channel_password = TOX_GROUP_MAX_PASSWORD_SIZE;      // 32
inline constexpr std::size_t longest_channel_message = TOX_GROUP_MAX_MESSAGE_LENGTH;      // 1372
inline constexpr std::size_t channel_id_size = TOX_GROUP_CHAT_ID_SIZE;                    // 32

// True when the library holds channel `number`.
bool channel_exists(const Tox *tox, std::uint32_t number);

// The channel numbers the library holds, lowest first, up to `capacity` of
// them; returns how many were written.
std::size_t list_channels(const Tox *tox, std::uint32_t *numbers, std::size_t capacity);

// The number of peers other than the bot seen in the channel now; 0 for a
// number the bot does not count (max_channels and above).
std::uint32_t channel_peers_seen(std::uint32_t number);

// A peer joined: counted up to the channel's peer limit, so that a count
// never passes what the library itself admits.
void note_channel_peer_joined(std::uint32_t number, std::uint32_t peer_limit);
// A peer left.
void note_channel_peer_left(std::uint32_t number);
// The bot lost every peer of the channel (it left, was disconnected, or the
// number is new).
void forget_channel_peers(std::uint32_t number);

}  // namespace zorvik
