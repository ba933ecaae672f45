// The library's channel callbacks: peers joining and leaving the bot's
// channels, counted for "info". The bot never joins other people's
// channels, so it registers no invitation callback.
#pragma once

#include <cstddef>
#include <cstdint>

#include <tox/tox.h>

namespace zorvik {

void on_channel_peer_join(Tox *tox, std::uint32_t group_number, std::uint32_t peer_id, void *user_data);

void on_channel_peer_exit(Tox *tox, std::uint32_t group_number, std::uint32_t peer_id,
                          Tox_Group_Exit_Type exit_type, const std::uint8_t *name, std::size_t name_length,
                          const std::uint8_t *part_message, std::size_t part_message_length, void *user_data);

}  // namespace zorvik
