#include "events/friend_events.hpp"

#include <cstdio>

#include "base/text.hpp"
#include "base/tox_lists.hpp"
#include "bot_state.hpp"
#include "commands/command_table.hpp"
#include "commands/replies.hpp"
#include "commands/reply_budget.hpp"
#include "events/friend_limit.hpp"
#include "storage/save_data.hpp"

namespace zorvik {

void on_self_connection_status(Tox *, Tox_Connection connection_status, void *)
{
    switch (connection_status) {
    case TOX_CONNECTION_NONE:
        std::fputs("Connection to Tox network has been lost\n", stderr);
        break;
    case TOX_CONNECTION_TCP:
        std::fputs("Connection to Tox network is weak (using TCP)\n", stderr);
        break;
    case TOX_CONNECTION_UDP:
        std::fputs("Connection to Tox network is strong (using UDP)\n", stderr);
        break;
    default:
        break;
    }
}

void recount_online_friends(const Tox *tox)
{
    bot_state.online_friends = 0;
    const NumberList friends = fetch_friend_list(tox);
    for (std::size_t i = 0; i < friends.count; ++i) {
        if (tox_friend_get_connection_status(tox, friends.numbers[i], nullptr) != TOX_CONNECTION_NONE) {
            ++bot_state.online_friends;
        }
    }
}

void on_friend_connection_status(Tox *tox, std::uint32_t friend_number, Tox_Connection connection_status, void *)
{
    if (connection_status == TOX_CONNECTION_NONE) {
        // The library dropped what it had queued for the friend.
        forget_replies(friend_number);
    }
    recount_online_friends(tox);
}

void on_friend_read_receipt(Tox *, std::uint32_t friend_number, std::uint32_t, void *)
{
    note_reply_read(friend_number);
}

void on_friend_request(Tox *tox, const std::uint8_t *public_key, const std::uint8_t *, std::size_t, void *)
{
    if (make_room_for_friend(tox, public_key, max_friends)) {
        // A number freed by a deleted friend comes with no unread replies:
        // only offline friends are deleted, and going offline forgot them.
        Tox_Err_Friend_Add error = TOX_ERR_FRIEND_ADD_OK;
        tox_friend_add_norequest(tox, public_key, &error);
        if (error != TOX_ERR_FRIEND_ADD_OK) {
            std::fprintf(stderr, "tox_friend_add_norequest failed (error %d)\n", static_cast<int>(error));
        }
    }
    save_data(tox, save_path);
}

void on_friend_message(Tox *tox, std::uint32_t friend_number, Tox_Message_Type type, const std::uint8_t *message,
                       std::size_t length, void *)
{
    if (type != TOX_MESSAGE_TYPE_NORMAL) {
        return;
    }
    char text[max_message_length];
    const std::uint16_t copied = copy_message_text(text, sizeof text, message, clamp_length_u16(length));
    if (copied == 0 || !reply_budget_allows(tox, friend_number)) {
        return;
    }
    if (run_command(tox, friend_number, text) == -1) {
        reply_text(tox, friend_number, "Invalid command. Type help for a list of commands");
    }
}

}  // namespace zorvik
