// "group" and "invite": any friend may have the bot create a conference and
// ask to be invited into a registered one.
#include <cstdio>
#include <cstring>
#include <strings.h>

#include <tox/toxav.h>

#include "base/text.hpp"
#include "bot_state.hpp"
#include "commands/handlers.hpp"
#include "commands/invite_password.hpp"
#include "commands/replies.hpp"
#include "groups/conferences.hpp"
#include "groups/registry.hpp"
#include "storage/master_list.hpp"

namespace zorvik {

namespace {

// Creates the conference; returns its number, or -1 when the library fails.
std::int64_t create_conference(Tox *tox, bool audio)
{
    if (audio) {
        const int number = toxav_add_av_groupchat(tox, nullptr, nullptr);
        return number == -1 ? -1 : number;
    }
    Tox_Err_Conference_New error = TOX_ERR_CONFERENCE_NEW_OK;
    const std::uint32_t number = tox_conference_new(tox, &error);
    if (error != TOX_ERR_CONFERENCE_NEW_OK) {
        return -1;
    }
    return number;
}

}  // namespace

void handle_group(Tox *tox, std::uint32_t friend_number, std::int32_t num_args, const CommandArgs &args)
{
    DisplayName name;
    friend_display_name(tox, friend_number, name);

    std::uint8_t creator[TOX_PUBLIC_KEY_SIZE] = {};
    tox_friend_get_public_key(tox, friend_number, creator, nullptr);
    if (groups_created_by(creator) >= max_groups_per_creator && !is_master(tox, friend_number)) {
        std::printf("Group chat creation by %s refused: limit of %d groups per friend reached\n", name,
                    static_cast<int>(max_groups_per_creator));
        char reply[max_message_length];
        std::snprintf(reply, sizeof reply,
                      "You have %d group chats already, the most per friend. Try again once one of them has closed.",
                      static_cast<int>(max_groups_per_creator));
        reply_text(tox, friend_number, reply);
        return;
    }

    // At the cap, empty rooms are recycled first (a flood of "group" leaves
    // only empty rooms behind); only rooms in use make the bot refuse.
    if (at_conference_cap(tox)) {
        sweep_empty_groups(tox);
    }
    if (at_conference_cap(tox)) {
        std::printf("Group chat creation by %s refused: limit of %u groups reached\n", name,
                    static_cast<unsigned>(max_conferences));
        char reply[max_message_length];
        std::snprintf(reply, sizeof reply, "Group chat limit reached (%u groups). Try again later.",
                      static_cast<unsigned>(max_conferences));
        reply_text(tox, friend_number, reply);
        return;
    }

    const bool audio = strcasecmp(args.arg[1], "audio") == 0;
    const std::int64_t created = create_conference(tox, audio);
    if (created < 0) {
        std::printf("Group chat creation by %s failed to initialize\n", name);
        reply_text(tox, friend_number, "Group chat instance failed to initialize.");
        return;
    }
    const auto number = static_cast<std::uint32_t>(created);

    const char *password = nullptr;
    const char *suffix = "";
    if (num_args >= 2) {
        if (std::strlen(args.arg[2]) > longest_password) {
            std::printf("Group chat creation by %s failed: Password too long\n", name);
            reply_text(tox, friend_number, "Group chat instance failed to initialize: Password too long");
            tox_conference_delete(tox, number, nullptr);
            return;
        }
        password = args.arg[2];
        suffix = " (Password protected)";
    }

    if (group_add(number, audio ? 1 : 0, password) == -1) {
        std::printf("Group chat creation by %s failed\n", name);
        reply_text(tox, friend_number, "Group chat creation failed");
        tox_conference_delete(tox, number, nullptr);
        return;
    }
    group_set_creator(group_find(number), creator);
    std::printf("Group chat %d created by %s%s\n", static_cast<int>(number), name, suffix);
    char reply[max_message_length];
    std::snprintf(reply, sizeof reply, "Group chat %d created%s", static_cast<int>(number), suffix);
    reply_text(tox, friend_number, reply);
}

void handle_invite(Tox *tox, std::uint32_t friend_number, std::int32_t num_args, const CommandArgs &args)
{
    std::int32_t n = bot_state.default_room;
    if (num_args > 0 && !parse_group_number(args.arg[1], &n)) {
        reply_text(tox, friend_number, "Error: Invalid group number");
        return;
    }
    const auto conference_number = static_cast<std::uint32_t>(n);
    const std::int32_t slot = group_find(conference_number);
    if (slot == -1) {
        reply_text(tox, friend_number, "Group doesn't exist.");
        return;
    }
    DisplayName name;
    friend_display_name(tox, friend_number, name);

    const GroupRecord &group = group_at(slot);
    const InvitePassword verdict = check_invite_password(
        tox, friend_number, name, group.password_protected != 0 ? group.password : nullptr,
        num_args >= 2 ? args.arg[2] : nullptr);
    if (verdict == InvitePassword::locked_out) {
        return;
    }
    if (verdict == InvitePassword::wrong) {
        std::fprintf(stderr, "Failed to invite %s to group %d (invalid password)\n", name, static_cast<int>(n));
        reply_text(tox, friend_number, "Invalid password.");
        return;
    }

    Tox_Err_Conference_Invite error = TOX_ERR_CONFERENCE_INVITE_OK;
    tox_conference_invite(tox, friend_number, conference_number, &error);
    if (error != TOX_ERR_CONFERENCE_INVITE_OK) {
        std::fprintf(stderr, "Failed to invite %s to group %d\n", name, static_cast<int>(n));
        reply_error(tox, friend_number, "Invite failed", static_cast<std::int32_t>(error));
        return;
    }
    std::printf("Invited %s to group %d\n", name, static_cast<int>(n));
}

}  // namespace zorvik
