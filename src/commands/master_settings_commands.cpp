// "master", "name", "status", "statusmessage" and "purge": masters change the
// bot itself. Profile changes are saved at once; the purge limit lives in
// memory only.
#include <cstdio>
#include <cstring>
#include <strings.h>

#include "base/log_text.hpp"
#include "base/text.hpp"
#include "bot_state.hpp"
#include "commands/handlers.hpp"
#include "commands/replies.hpp"
#include "storage/master_list.hpp"
#include "storage/save_data.hpp"

namespace zorvik {

namespace {

constexpr std::size_t tox_id_length = 2 * address_size;  // 76

// The tail of every profile change: "<sender> set <what> to <text>" on
// standard output, with `text` made log-safe (and in double quotes when
// `quoted`), then the save.
void log_profile_change_and_save(Tox *tox, std::uint32_t friend_number, const char *what, const char *text,
                                 bool quoted)
{
    DisplayName name;
    friend_display_name(tox, friend_number, name);
    LogText shown;
    const char *quote = quoted ? "\"" : "";
    std::printf("%s set %s to %s%s%s\n", name, what, quote, log_text(shown, sizeof shown, text), quote);
    save_data(tox, save_path);
}

struct StatusWord {
    const char *word;
    Tox_User_Status status;
};

constexpr StatusWord status_words[] = {
    {"online", TOX_USER_STATUS_NONE},
    {"away", TOX_USER_STATUS_AWAY},
    {"busy", TOX_USER_STATUS_BUSY},
};

}  // namespace

void handle_master(Tox *tox, std::uint32_t friend_number, std::int32_t, const CommandArgs &args)
{
    const char *id = args.arg[1];
    // A line break inside the ID would split it into two lines of the file.
    if (std::strlen(id) != tox_id_length || std::strpbrk(id, "\r\n") != nullptr) {
        reply_text(tox, friend_number, "Error: Invalid Tox ID");
        return;
    }
    const MasterAppend appended = append_master_line(id);
    if (appended == MasterAppend::not_opened) {
        reply_text(tox, friend_number, "Error: could not find masterkeys file");
        return;
    }
    if (appended == MasterAppend::not_written) {
        reply_text(tox, friend_number, "Error: could not write to masterkeys file");
        return;
    }
    DisplayName name;
    friend_display_name(tox, friend_number, name);
    LogText shown_id;
    std::printf("%s added master: %s\n", name, log_text(shown_id, sizeof shown_id, id));
    reply_text(tox, friend_number, "ID added to masterkeys list");
}

void handle_name(Tox *tox, std::uint32_t friend_number, std::int32_t, const CommandArgs &args)
{
    const char *arg = args.arg[1];
    // A quoted name is the text after the opening quote, closing quote
    // included, bounded to 127 bytes, less its last byte; an unquoted one is
    // the argument bounded to 127 bytes.
    const bool quoted = arg[0] == '"';
    const char *source = quoted ? arg + 1 : arg;
    char new_name[max_name_length];  // at most 127 bytes and the NUL
    std::size_t length = strnlen(source, sizeof new_name - 1);
    std::memcpy(new_name, source, length);
    if (quoted && length > 0) {
        --length;
    }
    new_name[length] = '\0';
    tox_self_set_name(tox, reinterpret_cast<const std::uint8_t *>(new_name), length, nullptr);
    log_profile_change_and_save(tox, friend_number, "name", new_name, false);
}

void handle_status(Tox *tox, std::uint32_t friend_number, std::int32_t, const CommandArgs &args)
{
    const char *arg = args.arg[1];
    const StatusWord *chosen = nullptr;
    for (const StatusWord &candidate : status_words) {
        if (strcasecmp(arg, candidate.word) == 0) {
            chosen = &candidate;
            break;
        }
    }
    if (chosen == nullptr) {
        reply_text(tox, friend_number, "Invalid status. Valid statuses are: online, busy and away.");
        return;
    }
    tox_self_set_status(tox, chosen->status);
    log_profile_change_and_save(tox, friend_number, "status", arg, false);
}

void handle_statusmessage(Tox *tox, std::uint32_t friend_number, std::int32_t, const CommandArgs &args)
{
    const char *arg = args.arg[1];
    if (!is_quoted_token(arg)) {
        reply_text(tox, friend_number, "Error: message must be enclosed in quotes");
        return;
    }
    char message[max_message_length];
    const std::size_t length = unquote_token(arg, message);
    Tox_Err_Set_Info error = TOX_ERR_SET_INFO_OK;
    tox_self_set_status_message(tox, reinterpret_cast<const std::uint8_t *>(message), length, &error);
    if (error != TOX_ERR_SET_INFO_OK) {
        // Longer than the library's 1007 bytes: nothing changed, so nothing
        // is saved.
        DisplayName name;
        friend_display_name(tox, friend_number, name);
        std::fprintf(stderr, "%s failed to set status message (error %d)\n", name, static_cast<int>(error));
        return;
    }
    log_profile_change_and_save(tox, friend_number, "status message", message, true);
}

void handle_purge(Tox *tox, std::uint32_t friend_number, std::int32_t, const CommandArgs &args)
{
    // Digits beyond the signed 32-bit range are held at its largest value.
    std::int64_t days = parse_leading_integer(args.arg[1]);
    if (days > INT32_MAX) {
        days = INT32_MAX;
    }
    if (days <= 0) {
        reply_text(tox, friend_number, "Error: number > 0 required");
        return;
    }
    bot_state.inactive_limit_seconds = static_cast<std::uint64_t>(days) * seconds_per_day;
    char reply[max_message_length];
    std::snprintf(reply, sizeof reply, "Purge time set to %lu days", static_cast<unsigned long>(days));
    reply_text(tox, friend_number, reply);
    DisplayName name;
    friend_display_name(tox, friend_number, name);
    std::printf("Purge time set to %lu days by %s\n", static_cast<unsigned long>(days), name);
}

}  // namespace zorvik
