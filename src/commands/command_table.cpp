#include "commands/command_table.hpp"

#include <cstdlib>
#include <cstring>

#include "commands/handlers.hpp"
#include "base/memory.hpp"

namespace zorvik {

const CommandEntry command_table[] = {
    {"default", handle_default},
    {"group", handle_group},
    {"gmessage", handle_gmessage},
    {"help", handle_help},
    {"id", handle_id},
    {"info", handle_info},
    {"invite", handle_invite},
    {"leave", handle_leave},
    {"master", handle_master},
    {"name", handle_name},
    {"passwd", handle_passwd},
    {"purge", handle_purge},
    {"status", handle_status},
    {"statusmessage", handle_statusmessage},
    {"title", handle_title},
    {nullptr, nullptr},
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

std::int32_t run_command(Tox *tox, std::uint32_t friend_number, const char *text, std::int32_t length)
{
    if (length > max_command_length) {
        return -1;
    }
    // The working copy ends at the first NUL of the text.
    const std::size_t copy_length = strnlen(text, static_cast<std::size_t>(length < 0 ? 0 : length));
    auto *working_copy = static_cast<char *>(alloc_or_exit(copy_length + 1));
    std::memcpy(working_copy, text, copy_length);
    working_copy[copy_length] = '\0';

    CommandArgs args;
    std::int32_t token_count = 0;
    const std::int32_t split = split_command(working_copy, &args, &token_count);
    std::free(working_copy);
    if (split != 0) {
        return -1;
    }
    const CommandEntry *row = find_command(args.arg[0]);
    if (row == nullptr) {
        return -1;
    }
    row->handler(tox, friend_number, token_count - 1, args);
    return 0;
}

}  // namespace zorvik
