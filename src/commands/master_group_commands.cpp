// "leave", "passwd", "title", "gmessage" and "default": masters manage the
// bot's conferences. A sender who is not a master gets "Invalid command."
// and nothing else happens.
#include <cstdio>
#include <cstring>

#include "base/log_text.hpp"
#include "base/text.hpp"
#include "bot_state.hpp"
#include "commands/handlers.hpp"
#include "commands/replies.hpp"
#include "groups/registry.hpp"

namespace zorvik {

void handle_leave(Tox *tox, std::uint32_t friend_number, std::int32_t, const CommandArgs &args)
{
    std::int32_t n = 0;
    if (!parse_group_number(args.arg[1], &n)) {
        reply_text(tox, friend_number, "Error: Invalid group number");
        return;
    }
    const auto conference_number = static_cast<std::uint32_t>(n);
    if (!tox_conference_delete(tox, conference_number, nullptr)) {
        reply_text(tox, friend_number, "Error: Invalid group number");
        return;
    }
    group_remove(conference_number);
    DisplayName name;
    friend_display_name(tox, friend_number, name);
    std::printf("Left group %d (%s)\n", static_cast<int>(n), name);
    char reply[max_message_length];
    std::snprintf(reply, sizeof reply, "Left group %d", static_cast<int>(n));
    reply_text(tox, friend_number, reply);
}

void handle_passwd(Tox *tox, std::uint32_t friend_number, std::int32_t num_args, const CommandArgs &args)
{
    std::int32_t n = 0;
    if (!parse_group_number(args.arg[1], &n)) {
        reply_text(tox, friend_number, "Error: Invalid group number");
        return;
    }
    const std::int32_t slot = group_find(static_cast<std::uint32_t>(n));
    if (slot == -1) {
        reply_text(tox, friend_number, "Error: Invalid group number");
        return;
    }
    if (num_args >= 2 && std::strlen(args.arg[2]) > longest_password) {
        reply_text(tox, friend_number, "Password too long");
        return;
    }
    DisplayName name;
    friend_display_name(tox, friend_number, name);
    if (num_args == 1) {
        group_set_password(slot, nullptr);
        reply_text(tox, friend_number, "No password set");
        std::printf("No password set for group %d by %s\n", static_cast<int>(n), name);
        return;
    }
    group_set_password(slot, args.arg[2]);  // at most 63 bytes, checked above
    reply_text(tox, friend_number, "Password set");
    std::printf("Password for group %d set by %s\n", static_cast<int>(n), name);
}

void handle_title(Tox *tox, std::uint32_t friend_number, std::int32_t, const CommandArgs &args)
{
    if (!is_quoted_token(args.arg[2])) {
        reply_text(tox, friend_number, "Error: title must be enclosed in quotes");
        return;
    }
    std::int32_t n = 0;
    if (!parse_group_number(args.arg[1], &n)) {
        reply_text(tox, friend_number, "Error: Invalid group number");
        return;
    }
    char title[max_message_length];
    const std::size_t length = unquote_token(args.arg[2], title);
    DisplayName name;
    friend_display_name(tox, friend_number, name);

    // The library refuses an empty title and one of 129 to 256 bytes with
    // INVALID_LENGTH, but keeps only the low 8 bits of a longer one's length
    // and sets a cut title; every such title is refused here with the same
    // error, before the library sees it.
    const auto conference_number = static_cast<std::uint32_t>(n);
    Tox_Err_Conference_Title error = TOX_ERR_CONFERENCE_TITLE_INVALID_LENGTH;
    if (length != 0 && length <= max_name_length) {
        error = TOX_ERR_CONFERENCE_TITLE_OK;
        tox_conference_set_title(tox, conference_number, reinterpret_cast<const std::uint8_t *>(title), length,
                                 &error);
    }
    if (error != TOX_ERR_CONFERENCE_TITLE_OK) {
        make_log_safe(title);
        std::printf("%s failed to set the title '%s' for group %d\n", name, title, static_cast<int>(n));
        reply_error(tox, friend_number,
                    "Failed to set title. This may be caused by an invalid group number or an empty room",
                    static_cast<std::int32_t>(error));
        return;
    }
    const std::int32_t slot = group_find(conference_number);
    if (slot >= 0) {
        group_set_title(slot, title, length);
    }
    reply_text(tox, friend_number, "Group title set");
    make_log_safe(title);
    std::printf("%s set group %d title to %s\n", name, static_cast<int>(n), title);
}

void handle_gmessage(Tox *tox, std::uint32_t friend_number, std::int32_t num_args, const CommandArgs &args)
{
    if (num_args == 1) {
        reply_text(tox, friend_number, "Error: Message required");
        return;
    }
    std::int32_t n = 0;
    if (!parse_group_number(args.arg[1], &n) || group_find(static_cast<std::uint32_t>(n)) == -1) {
        reply_text(tox, friend_number, "Error: Invalid group number");
        return;
    }
    if (!is_quoted_token(args.arg[2])) {
        reply_text(tox, friend_number, "Error: Message must be enclosed in quotes");
        return;
    }
    char message[max_message_length];
    const std::size_t length = unquote_token(args.arg[2], message);
    Tox_Err_Conference_Send_Message error = TOX_ERR_CONFERENCE_SEND_MESSAGE_OK;
    tox_conference_send_message(tox, static_cast<std::uint32_t>(n), TOX_MESSAGE_TYPE_NORMAL,
                                reinterpret_cast<const std::uint8_t *>(message), length, &error);
    if (error != TOX_ERR_CONFERENCE_SEND_MESSAGE_OK) {
        reply_error(tox, friend_number, "Error: Failed to send message.", static_cast<std::int32_t>(error));
        return;
    }
    DisplayName name;
    friend_display_name(tox, friend_number, name);
    reply_text(tox, friend_number, "Message sent.");
    make_log_safe(message);
    std::printf("<%s> message to group %d: %s\n", name, static_cast<int>(n), message);
}

void handle_default(Tox *tox, std::uint32_t friend_number, std::int32_t, const CommandArgs &args)
{
    std::int32_t n = 0;
    if (!parse_group_number(args.arg[1], &n) || n < 0) {
        reply_text(tox, friend_number, "Error: Invalid room number");
        return;
    }
    bot_state.default_room = n;
    char reply[max_message_length];
    std::snprintf(reply, sizeof reply, "Default room number set to %d", static_cast<int>(n));
    reply_text(tox, friend_number, reply);
    DisplayName name;
    friend_display_name(tox, friend_number, name);
    // Ends with a newline like every other log line, so the next line is not
    // glued onto it.
    std::printf("Default room number set to %d by %s\n", static_cast<int>(n), name);
}

}  // namespace zorvik
