// Channels: "channel" founds one, and "#n" in place of a conference number
// sends "invite", "title", "passwd", "gmessage" and "leave" here. Every
// change a channel goes through is saved at once: the save data is where
// the library keeps channels, their founder keys among them.
#include <cstdio>
#include <cstring>
#include <strings.h>

#include "base/log_text.hpp"
#include "base/text.hpp"
#include "base/tox_id.hpp"
#include "bot_state.hpp"
#include "commands/handlers.hpp"
#include "commands/invite_password.hpp"
#include "commands/replies.hpp"
#include "groups/channels.hpp"
#include "storage/save_data.hpp"

namespace zorvik {

namespace {

constexpr const char fallback_self_name[] = "Zorvik";

// Reads "#n": false for anything else, and for a number the library does
// not hold; otherwise the reply is the caller's.
bool parse_channel(const Tox *tox, const char *text, std::uint32_t *number)
{
    std::int32_t n = 0;
    if (text[0] != '#' || !parse_group_number(text + 1, &n) || n < 0 ||
        !channel_exists(tox, static_cast<std::uint32_t>(n))) {
        return false;
    }
    *number = static_cast<std::uint32_t>(n);
    return true;
}

// The channel's password, NUL-terminated; false when it has none (or the
// library cannot report one that fits).
bool channel_password(const Tox *tox, std::uint32_t number, char (&password)[longest_channel_password + 1])
{
    const std::size_t size = tox_group_get_password_size(tox, number, nullptr);
    if (size == 0 || size > longest_channel_password ||
        !tox_group_get_password(tox, number, reinterpret_cast<std::uint8_t *>(password), nullptr)) {
        return false;
    }
    password[size] = '\0';
    return true;
}

// The password of `channel TYPE "NAME" PASSWORD`: a fourth token glued to
// the name's closing quote, or else the first word after the blank that
// ends the (empty) fourth token. Null when there is none.
const char *read_password_after_name(std::int32_t num_args, const CommandArgs &args,
                                     char (&word)[max_message_length])
{
    if (num_args >= 3 && args.arg[3][0] != '\0') {
        return args.arg[3];
    }
    if (num_args < 3 || args.tail == nullptr || args.tail[0] != ' ') {
        return nullptr;
    }
    // The tail lies inside the command text (at most 1371 bytes), so the
    // word fits the buffer.
    std::size_t length = 0;
    const char *from = args.tail + 1;
    while (from[length] != '\0' && from[length] != ' ' && length < sizeof word - 1) {
        word[length] = from[length];
        ++length;
    }
    word[length] = '\0';
    return length != 0 ? word : nullptr;
}

void save_channels(Tox *tox)
{
    save_data(tox, save_path);
}

// Invites the sender; on failure he is told why. Logs either way.
bool invite_to_channel(Tox *tox, std::uint32_t friend_number, std::uint32_t number, const DisplayName &name)
{
    Tox_Err_Group_Invite_Friend error = TOX_ERR_GROUP_INVITE_FRIEND_OK;
    tox_group_invite_friend(tox, number, friend_number, &error);
    if (error == TOX_ERR_GROUP_INVITE_FRIEND_OK) {
        std::printf("Invited %s to channel #%u\n", name, static_cast<unsigned>(number));
        return true;
    }
    std::fprintf(stderr, "Failed to invite %s to channel #%u (error %d)\n", name, static_cast<unsigned>(number),
                 static_cast<int>(error));
    char reply[max_message_length];
    if (error == TOX_ERR_GROUP_INVITE_FRIEND_DISCONNECTED) {
        std::snprintf(reply, sizeof reply, "Channel #%u is not connected yet. Try again in a minute.",
                      static_cast<unsigned>(number));
        reply_text(tox, friend_number, reply);
    } else {
        reply_error(tox, friend_number, "Invite failed: I cannot reach you right now. Try again later",
                    static_cast<std::int32_t>(error));
    }
    return false;
}

}  // namespace

void handle_channel(Tox *tox, std::uint32_t friend_number, std::int32_t num_args, const CommandArgs &args)
{
    const bool is_public = strcasecmp(args.arg[1], "public") == 0;
    if (!is_public && strcasecmp(args.arg[1], "private") != 0) {
        reply_text(tox, friend_number, "Error: Channel type must be public or private");
        return;
    }
    if (!is_quoted_token(args.arg[2])) {
        reply_text(tox, friend_number, "Error: Channel name must be enclosed in quotes");
        return;
    }
    char channel_name[max_message_length];
    const std::size_t name_length = unquote_token(args.arg[2], channel_name);
    if (name_length == 0 || name_length > longest_channel_name) {
        reply_text(tox, friend_number, "Error: Channel name must be 1 to 48 bytes");
        return;
    }
    // The password follows the quoted name after a blank. The tokenizer
    // skips no blank after a closing quote, so it makes an empty fourth
    // token of that blank and leaves the password in the tail.
    char tail_word[max_message_length];
    const char *password = read_password_after_name(num_args, args, tail_word);
    const std::size_t password_length = password != nullptr ? std::strlen(password) : 0;
    if (password_length > longest_channel_password) {
        reply_text(tox, friend_number, "Error: Channel password must be 32 bytes at most");
        return;
    }
    DisplayName name;
    friend_display_name(tox, friend_number, name);
    if (tox_group_get_number_groups(tox) >= max_channels) {
        std::printf("Channel creation by %s refused: limit of %u channels reached\n", name,
                    static_cast<unsigned>(max_channels));
        char reply[max_message_length];
        std::snprintf(reply, sizeof reply, "Channel limit reached (%u channels). Leave one first.",
                      static_cast<unsigned>(max_channels));
        reply_text(tox, friend_number, reply);
        return;
    }

    // The bot's own name in the channel: its profile name, which may be
    // empty (the library wants one) or, set by a master, up to 128 bytes.
    std::uint8_t self_name[max_name_length];
    std::size_t self_name_length = tox_self_get_name_size(tox);
    if (self_name_length == 0 || self_name_length > sizeof self_name) {
        self_name_length = sizeof fallback_self_name - 1;
        std::memcpy(self_name, fallback_self_name, self_name_length);
    } else {
        tox_self_get_name(tox, self_name);
    }
    Tox_Err_Group_New error = TOX_ERR_GROUP_NEW_OK;
    const std::uint32_t number =
        tox_group_new(tox, is_public ? TOX_GROUP_PRIVACY_STATE_PUBLIC : TOX_GROUP_PRIVACY_STATE_PRIVATE,
                      reinterpret_cast<const std::uint8_t *>(channel_name), name_length, self_name,
                      self_name_length, &error);
    if (error != TOX_ERR_GROUP_NEW_OK) {
        std::printf("Channel creation by %s failed (error %d)\n", name, static_cast<int>(error));
        reply_error(tox, friend_number, "Channel creation failed", static_cast<std::int32_t>(error));
        return;
    }
    forget_channel_peers(number);
    Tox_Err_Group_Set_Peer_Limit limit_error = TOX_ERR_GROUP_SET_PEER_LIMIT_OK;
    tox_group_set_peer_limit(tox, number, channel_peer_limit, &limit_error);
    Tox_Err_Group_Set_Password password_error = TOX_ERR_GROUP_SET_PASSWORD_OK;
    if (limit_error == TOX_ERR_GROUP_SET_PEER_LIMIT_OK && password != nullptr) {
        tox_group_set_password(tox, number, reinterpret_cast<const std::uint8_t *>(password), password_length,
                               &password_error);
    }
    if (limit_error != TOX_ERR_GROUP_SET_PEER_LIMIT_OK || password_error != TOX_ERR_GROUP_SET_PASSWORD_OK) {
        // A channel without its limit or its password is not the one asked
        // for: it is left at once, before anyone can join.
        tox_group_leave(tox, number, nullptr, 0, nullptr);
        const int code = limit_error != TOX_ERR_GROUP_SET_PEER_LIMIT_OK ? static_cast<int>(limit_error)
                                                                        : static_cast<int>(password_error);
        std::printf("Channel creation by %s failed to set the %s (error %d)\n", name,
                    limit_error != TOX_ERR_GROUP_SET_PEER_LIMIT_OK ? "peer limit" : "password", code);
        reply_error(tox, friend_number, "Channel creation failed", code);
        return;
    }
    save_channels(tox);

    const char *kind = is_public ? "public" : "private";
    const char *protection = password != nullptr ? ", password protected" : "";
    make_log_safe(channel_name);
    std::printf("Channel #%u '%s' (%s%s) created by %s\n", static_cast<unsigned>(number), channel_name, kind,
                protection, name);
    char reply[max_message_length];
    if (is_public) {
        std::uint8_t chat_id[channel_id_size] = {};
        tox_group_get_chat_id(tox, number, chat_id, nullptr);
        char chat_id_text[2 * channel_id_size + 1];
        format_public_key(chat_id, chat_id_text);
        std::snprintf(reply, sizeof reply, "Channel #%u created (%s%s). Chat ID: %s", static_cast<unsigned>(number),
                      kind, protection, chat_id_text);
    } else {
        std::snprintf(reply, sizeof reply, "Channel #%u created (%s%s)", static_cast<unsigned>(number), kind,
                      protection);
    }
    if (reply_text(tox, friend_number, reply)) {
        invite_to_channel(tox, friend_number, number, name);
    }
}

void handle_channel_invite(Tox *tox, std::uint32_t friend_number, std::int32_t num_args, const CommandArgs &args)
{
    std::uint32_t number = 0;
    if (!parse_channel(tox, args.arg[1], &number)) {
        reply_text(tox, friend_number, "Channel doesn't exist.");
        return;
    }
    DisplayName name;
    friend_display_name(tox, friend_number, name);
    char password[longest_channel_password + 1];
    const bool protected_channel = channel_password(tox, number, password);
    const InvitePassword verdict = check_invite_password(tox, friend_number, name,
                                                         protected_channel ? password : nullptr,
                                                         num_args >= 2 ? args.arg[2] : nullptr);
    if (verdict == InvitePassword::locked_out) {
        return;
    }
    if (verdict == InvitePassword::wrong) {
        std::fprintf(stderr, "Failed to invite %s to channel #%u (invalid password)\n", name,
                     static_cast<unsigned>(number));
        reply_text(tox, friend_number, "Invalid password.");
        return;
    }
    if (invite_to_channel(tox, friend_number, number, name)) {
        // A member who still holds the channel from before does not see a
        // new invite: the library drops it without a word.
        char reply[max_message_length];
        std::snprintf(reply, sizeof reply,
                      "Invite to channel #%u sent. If none arrives, leave your old copy of the channel and ask again.",
                      static_cast<unsigned>(number));
        reply_text(tox, friend_number, reply);
    }
}

void handle_channel_title(Tox *tox, std::uint32_t friend_number, std::int32_t, const CommandArgs &args)
{
    if (!is_quoted_token(args.arg[2])) {
        reply_text(tox, friend_number, "Error: title must be enclosed in quotes");
        return;
    }
    std::uint32_t number = 0;
    if (!parse_channel(tox, args.arg[1], &number)) {
        reply_text(tox, friend_number, "Error: Invalid channel number");
        return;
    }
    char topic[max_message_length];
    const std::size_t length = unquote_token(args.arg[2], topic);
    if (length > longest_channel_topic) {
        reply_text(tox, friend_number, "Error: Channel topic must be 512 bytes at most");
        return;
    }
    Tox_Err_Group_Topic_Set error = TOX_ERR_GROUP_TOPIC_SET_OK;
    tox_group_set_topic(tox, number, reinterpret_cast<const std::uint8_t *>(topic), length, &error);
    DisplayName name;
    friend_display_name(tox, friend_number, name);
    make_log_safe(topic);
    if (error != TOX_ERR_GROUP_TOPIC_SET_OK) {
        std::printf("%s failed to set the topic '%s' for channel #%u (error %d)\n", name, topic,
                    static_cast<unsigned>(number), static_cast<int>(error));
        reply_error(tox, friend_number, "Failed to set topic", static_cast<std::int32_t>(error));
        return;
    }
    save_channels(tox);
    reply_text(tox, friend_number, "Channel topic set");
    std::printf("%s set channel #%u topic to %s\n", name, static_cast<unsigned>(number), topic);
}

void handle_channel_passwd(Tox *tox, std::uint32_t friend_number, std::int32_t num_args, const CommandArgs &args)
{
    std::uint32_t number = 0;
    if (!parse_channel(tox, args.arg[1], &number)) {
        reply_text(tox, friend_number, "Error: Invalid channel number");
        return;
    }
    const char *password = num_args >= 2 ? args.arg[2] : nullptr;
    const std::size_t length = password != nullptr ? std::strlen(password) : 0;
    if (length > longest_channel_password) {
        reply_text(tox, friend_number, "Password too long (32 bytes at most for a channel)");
        return;
    }
    Tox_Err_Group_Set_Password error = TOX_ERR_GROUP_SET_PASSWORD_OK;
    tox_group_set_password(tox, number, reinterpret_cast<const std::uint8_t *>(password), length, &error);
    if (error != TOX_ERR_GROUP_SET_PASSWORD_OK) {
        reply_error(tox, friend_number, "Failed to set password", static_cast<std::int32_t>(error));
        return;
    }
    save_channels(tox);
    DisplayName name;
    friend_display_name(tox, friend_number, name);
    if (password == nullptr) {
        reply_text(tox, friend_number, "No password set");
        std::printf("No password set for channel #%u by %s\n", static_cast<unsigned>(number), name);
        return;
    }
    reply_text(tox, friend_number, "Password set");
    std::printf("Password for channel #%u set by %s\n", static_cast<unsigned>(number), name);
}

void handle_channel_gmessage(Tox *tox, std::uint32_t friend_number, std::int32_t num_args, const CommandArgs &args)
{
    if (num_args == 1) {
        reply_text(tox, friend_number, "Error: Message required");
        return;
    }
    std::uint32_t number = 0;
    if (!parse_channel(tox, args.arg[1], &number)) {
        reply_text(tox, friend_number, "Error: Invalid channel number");
        return;
    }
    if (!is_quoted_token(args.arg[2])) {
        reply_text(tox, friend_number, "Error: Message must be enclosed in quotes");
        return;
    }
    char message[max_message_length];
    const std::size_t length = unquote_token(args.arg[2], message);
    // A command holds at most 1371 bytes, so its quoted text always fits a
    // channel message; the check keeps that true should either limit move.
    static_assert(max_message_length - 1 <= longest_channel_message);
    Tox_Err_Group_Send_Message error = TOX_ERR_GROUP_SEND_MESSAGE_OK;
    tox_group_send_message(tox, number, TOX_MESSAGE_TYPE_NORMAL, reinterpret_cast<const std::uint8_t *>(message),
                           length, &error);
    if (error != TOX_ERR_GROUP_SEND_MESSAGE_OK) {
        reply_error(tox, friend_number, "Error: Failed to send message.", static_cast<std::int32_t>(error));
        return;
    }
    DisplayName name;
    friend_display_name(tox, friend_number, name);
    reply_text(tox, friend_number, "Message sent.");
    make_log_safe(message);
    std::printf("<%s> message to channel #%u: %s\n", name, static_cast<unsigned>(number), message);
}

void handle_channel_leave(Tox *tox, std::uint32_t friend_number, std::int32_t, const CommandArgs &args)
{
    std::uint32_t number = 0;
    if (!parse_channel(tox, args.arg[1], &number)) {
        reply_text(tox, friend_number, "Error: Invalid channel number");
        return;
    }
    const bool founder = tox_group_self_get_role(tox, number, nullptr) == TOX_GROUP_ROLE_FOUNDER;
    if (!tox_group_leave(tox, number, nullptr, 0, nullptr)) {
        reply_text(tox, friend_number, "Error: Invalid channel number");
        return;
    }
    forget_channel_peers(number);
    save_channels(tox);
    DisplayName name;
    friend_display_name(tox, friend_number, name);
    std::printf("Left channel #%u (%s)\n", static_cast<unsigned>(number), name);
    char reply[max_message_length];
    if (founder) {
        std::snprintf(reply, sizeof reply,
                      "Left channel #%u. Its founder keys are gone for good: nobody can change its topic, "
                      "password or moderators any more.",
                      static_cast<unsigned>(number));
    } else {
        std::snprintf(reply, sizeof reply, "Left channel #%u", static_cast<unsigned>(number));
    }
    reply_text(tox, friend_number, reply);
}

void reply_channel_lines(Tox *tox, std::uint32_t friend_number)
{
    std::uint32_t numbers[max_channels];
    const std::size_t count = list_channels(tox, numbers, max_channels);
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint32_t number = numbers[i];
        // Each text is fetched only when its size fits the buffer: the
        // library writes it whole.
        char channel_name[longest_channel_name + 1] = {};
        const std::size_t name_size = tox_group_get_name_size(tox, number, nullptr);
        if (name_size < sizeof channel_name &&
            tox_group_get_name(tox, number, reinterpret_cast<std::uint8_t *>(channel_name), nullptr)) {
            channel_name[name_size] = '\0';
        }
        char topic[longest_channel_topic + 1] = {};
        const std::size_t topic_size = tox_group_get_topic_size(tox, number, nullptr);
        if (topic_size < sizeof topic &&
            tox_group_get_topic(tox, number, reinterpret_cast<std::uint8_t *>(topic), nullptr)) {
            topic[topic_size] = '\0';
        }
        const bool is_public = tox_group_get_privacy_state(tox, number, nullptr) == TOX_GROUP_PRIVACY_STATE_PUBLIC;
        // The bot counts itself, as the conference lines do.
        const unsigned peers = static_cast<unsigned>(channel_peers_seen(number)) + 1;
        char line[max_message_length];
        // Name (48), topic (512) and chat ID (64) leave the line far below
        // the message limit.
        const int length = std::snprintf(line, sizeof line, "Channel #%u | %s | peers: %u | Name: %s | Topic: %s",
                                         static_cast<unsigned>(number), is_public ? "Public" : "Private", peers,
                                         channel_name, topic[0] != '\0' ? topic : "None");
        if (is_public && length > 0) {
            std::uint8_t chat_id[channel_id_size] = {};
            tox_group_get_chat_id(tox, number, chat_id, nullptr);
            char chat_id_text[2 * channel_id_size + 1];
            format_public_key(chat_id, chat_id_text);
            std::snprintf(line + length, sizeof line - static_cast<std::size_t>(length), " | Chat ID: %s",
                          chat_id_text);
        }
        if (!reply_text(tox, friend_number, line)) {
            return;
        }
    }
}

}  // namespace zorvik
