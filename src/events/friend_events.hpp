// Handlers for the bot's own connection, friends' connections, friend
// requests and friend messages; the library calls them from tox_iterate.
#pragma once

#include <cstddef>
#include <cstdint>

#include <tox/tox.h>

namespace zorvik {

void on_self_connection_status(Tox *tox, Tox_Connection connection_status, void *user_data);
void on_friend_connection_status(Tox *tox, std::uint32_t friend_number, Tox_Connection connection_status,
                                 void *user_data);
void on_friend_request(Tox *tox, const std::uint8_t *public_key, const std::uint8_t *message, std::size_t length,
                       void *user_data);
void on_friend_message(Tox *tox, std::uint32_t friend_number, Tox_Message_Type type, const std::uint8_t *message,
                       std::size_t length, void *user_data);

// A friend acknowledged one of the bot's messages: one reply line fewer
// unread (commands/reply_budget.hpp).
void on_friend_read_receipt(Tox *tox, std::uint32_t friend_number, std::uint32_t message_id, void *user_data);

// Counts every friend whose connection is not TOX_CONNECTION_NONE into
// bot_state.online_friends.
void recount_online_friends(const Tox *tox);

}  // namespace zorvik
