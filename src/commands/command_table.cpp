#include "commands/command_table.hpp"

#include <cstring>

#include "commands/handlers.hpp"
#include "commands/replies.hpp"
#include "storage/master_list.hpp"

namespace zorvik {

constexpr Access anyone = Access::anyone;
constexpr Access master = Access::master;

const CommandEntry command_table[] = {
    // word          who      args  reply when arguments are missing
    {"default",       master,  1, "Error: Room number required", handle_default},
    {"group",         anyone,  1, "Please specify the group type: audio or text", handle_group},
    {"gmessage",      master,  1, "Error: Group number required", handle_gmessage},
    {"help",          anyone,  0, nullptr, handle_help},
    {"id",            anyone,  0, nullptr, handle_id},
    {"info",          anyone,  0, nullptr, handle_info},
    {"invite",        anyone,  0, nullptr, handle_invite},
    {"leave",         master,  1, "Error: Group number required", handle_leave},
    {"master",        master,  1, "Error: Tox ID required", handle_master},
    {"name",          master,  1, "Error: Name required", handle_name},
    {"passwd",        master,  1, "Error: group number required", handle_passwd},
    {"purge",         master,  1, "Error: number > 0 required", handle_purge},
    {"status",        master,  1, "Error: status required", handle_status},
    {"statusmessage", master,  1, "Error: message required", handle_statusmessage},
    {"title",         master,  2, "Error: Two arguments are required", handle_title},
    {nullptr, anyone, 0, nullptr, nullptr},
};

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
    row->handler(tox, friend_number, num_args, args);
    return 0;
}

}  // namespace zorvik
