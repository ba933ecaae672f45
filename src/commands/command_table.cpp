#include "commands/command_table.hpp"

#include <cstring>

#include "commands/handlers.hpp"
#include "commands/replies.hpp"
#include "storage/master_list.hpp"

namespace zorvik {

constexpr Access anyone = Access::anyone;
constexpr Access master = Access::master;

#if ZORVIK_CHANNELS
#define CHANNEL_HANDLER(handler) handler
#else
#define CHANNEL_HANDLER(handler) nullptr
#endif

const CommandEntry command_table[] = {
    // word          who      args  reply when arguments are missing
    //      handler, handler for "#n"
#if ZORVIK_CHANNELS
    {"channel",       master,  2, "Usage: channel public|private \"<name>\" [<password>]",
        handle_channel, nullptr},
#endif
    {"default",       master,  1, "Error: Room number required", handle_default, nullptr},
    {"group",         anyone,  1, "Please specify the group type: audio or text", handle_group, nullptr},
    {"gmessage",      master,  1, "Error: Group number required",
        handle_gmessage, CHANNEL_HANDLER(handle_channel_gmessage)},
    {"help",          anyone,  0, nullptr, handle_help, nullptr},
    {"id",            anyone,  0, nullptr, handle_id, nullptr},
    {"info",          anyone,  0, nullptr, handle_info, nullptr},
    {"invite",        anyone,  0, nullptr, handle_invite, CHANNEL_HANDLER(handle_channel_invite)},
    {"leave",         master,  1, "Error: Group number required",
        handle_leave, CHANNEL_HANDLER(handle_channel_leave)},
    {"master",        master,  1, "Error: Tox ID required", handle_master, nullptr},
    {"name",          master,  1, "Error: Name required", handle_name, nullptr},
    {"passwd",        master,  1, "Error: group number required",
        handle_passwd, CHANNEL_HANDLER(handle_channel_passwd)},
    {"purge",         master,  1, "Error: number > 0 required", handle_purge, nullptr},
    {"status",        master,  1, "Error: status required", handle_status, nullptr},
    {"statusmessage", master,  1, "Error: message required", handle_statusmessage, nullptr},
    {"title",         master,  2, "Error: Two arguments are required",
        handle_title, CHANNEL_HANDLER(handle_channel_title)},
    {nullptr, anyone, 0, nullptr, nullptr, nullptr},
};

#undef CHANNEL_HANDLER

const CommandEntry *find_command(const char *word)
{
    for (const CommandEntry *row = command_table; row->word != nullptr; ++row) {
        if (std::strcmp(row->word, word) == 0) {
            return row;
        }
    }
    return nullptr;
}

std::int32_t run_command(Tox *tox, std::uint32_t friend_number, const char *text)
{
    CommandArgs args;
    std::int32_t token_count = 0;
    if (split_command(text, &args, &token_count) != 0) {
        return -1;
    }
    const CommandEntry *row = find_command(args.arg[0]);
    if (row == nullptr) {
        return -1;
    }
    const std::int32_t num_args = token_count - 1;
    if (row->access == Access::master && !is_master(tox, friend_number)) {
        reply_text(tox, friend_number, "Invalid command.");
        return 0;
    }
    if (num_args < row->min_args) {
        reply_text(tox, friend_number, row->missing_args_reply);
        return 0;
    }
    const bool names_channel = num_args >= 1 && args.arg[1][0] == '#';
    const CommandHandler handler =
        names_channel && row->channel_handler != nullptr ? row->channel_handler : row->handler;
    handler(tox, friend_number, num_args, args);
    return 0;
}

}  // namespace zorvik
