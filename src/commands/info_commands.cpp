// "help", "id" and "info": open to every friend, change nothing.
#include <cstdio>
#include <ctime>

#include "base/tox_id.hpp"
#include "base/tox_lists.hpp"
#include "bot_state.hpp"
#include "commands/handlers.hpp"
#include "commands/replies.hpp"
#include "groups/registry.hpp"
#include "storage/master_list.hpp"

namespace zorvik {

std::int32_t format_uptime(char *buffer, std::int32_t size, std::uint64_t elapsed_seconds)
{
    const std::uint64_t days = elapsed_seconds / 86400;
    const std::uint64_t hours = (elapsed_seconds / 3600) % 24;
    const std::uint64_t minutes = (elapsed_seconds % 3600) / 60;
    return std::snprintf(buffer, size < 0 ? 0 : static_cast<std::size_t>(size), "%lud %luh %lum",
                         static_cast<unsigned long>(days), static_cast<unsigned long>(hours),
                         static_cast<unsigned long>(minutes));
}

void handle_help(Tox *tox, std::uint32_t friend_number, std::int32_t, const CommandArgs &)
{
    // The lines go out in order; the first that cannot be sent ends the reply.
    const bool sent =
        reply_text(tox, friend_number, "info : Print my current status and list active group chats") &&
        reply_text(tox, friend_number, "id : Print my Tox ID") &&
        reply_text(tox, friend_number, "invite : Request invite to default group chat") &&
        reply_text(tox, friend_number, "invite <n> <p> : Request invite to group chat n (with password p if protected)") &&
        reply_text(tox, friend_number,
                   "group <type> <pass> : Creates a new groupchat with type: text | audio (optional password)")
#if ZORVIK_CHANNELS
        && reply_text(tox, friend_number,
                      "invite #<n> <p> : Request invite to channel n (with password p if protected)")
#endif
        ;
    if (sent && is_master(tox, friend_number)) {
        reply_text(tox, friend_number, "For a list of master commands see the commands.txt file");
    }
}

void handle_id(Tox *tox, std::uint32_t friend_number, std::int32_t, const CommandArgs &)
{
    char id[2 * address_size + 1];
    format_tox_id(tox, id);
    reply_text(tox, friend_number, id);
}

namespace {

// One "Group ..." line of "info"; false when the peer count cannot be read.
bool format_conference_line(const Tox *tox, std::uint32_t conference_number, char (&line)[max_message_length])
{
    Tox_Err_Conference_Peer_Query error = TOX_ERR_CONFERENCE_PEER_QUERY_OK;
    const std::uint32_t peers = tox_conference_peer_count(tox, conference_number, &error);
    if (error != TOX_ERR_CONFERENCE_PEER_QUERY_OK) {
        return false;
    }
    const char *title = "None";
    const std::int32_t slot = group_find(conference_number);
    if (slot >= 0 && group_at(slot).title_length != 0) {
        title = group_at(slot).title;
    }
    const bool audio = tox_conference_get_type(tox, conference_number, nullptr) == TOX_CONFERENCE_TYPE_AV;
    std::snprintf(line, sizeof line, "Group %d | %s | peers: %d | Title: %s", static_cast<int>(conference_number),
                  audio ? "Audio" : "Text", static_cast<int>(peers), title);
    return true;
}

}  // namespace

void handle_info(Tox *tox, std::uint32_t friend_number, std::int32_t, const CommandArgs &)
{
    char line[max_message_length];
    char uptime[64];
    const auto now = static_cast<std::uint64_t>(std::time(nullptr));
    format_uptime(uptime, sizeof uptime, now - bot_state.start_time);
    std::snprintf(line, sizeof line, "Uptime: %s", uptime);
    if (!reply_text(tox, friend_number, line)) {
        return;
    }
    std::snprintf(line, sizeof line, "Friends: %d (%d online)", static_cast<int>(tox_self_get_friend_list_size(tox)),
                  static_cast<int>(bot_state.online_friends));
    if (!reply_text(tox, friend_number, line)) {
        return;
    }
    std::snprintf(line, sizeof line, "Inactive friends are purged after %lu days",
                  static_cast<unsigned long>(bot_state.inactive_limit_seconds / seconds_per_day));
    if (!reply_text(tox, friend_number, line)) {
        return;
    }

    const NumberList chats = fetch_conference_list(tox);
    if (chats.count == 0) {
        if (!reply_text(tox, friend_number, "No active groupchats")) {
            return;
        }
    }
    for (std::size_t i = 0; i < chats.count; ++i) {
        if (format_conference_line(tox, chats.numbers[i], line) && !reply_text(tox, friend_number, line)) {
            return;
        }
    }
#if ZORVIK_CHANNELS
    reply_channel_lines(tox, friend_number);
#endif
}

}  // namespace zorvik
