// Every chat command handler. Each takes the Tox instance, the sender's
// friend number, the number of arguments after the command word (0 to 3) and
// the tokens, answers the sender itself and writes its own log line. A
// handler runs only once its row of the command table let it: the sender
// may run it, and sent at least the arguments the row names.
#pragma once

#include <cstdint>

#include <tox/tox.h>

#include "commands/tokenizer.hpp"

namespace zorvik {

// Public information (info_commands.cpp).
void handle_help(Tox *tox, std::uint32_t friend_number, std::int32_t num_args, const CommandArgs &args);
void handle_id(Tox *tox, std::uint32_t friend_number, std::int32_t num_args, const CommandArgs &args);
void handle_info(Tox *tox, std::uint32_t friend_number, std::int32_t num_args, const CommandArgs &args);

// Conferences on request (conference_commands.cpp).
void handle_group(Tox *tox, std::uint32_t friend_number, std::int32_t num_args, const CommandArgs &args);
void handle_invite(Tox *tox, std::uint32_t friend_number, std::int32_t num_args, const CommandArgs &args);

// Master conference management (master_group_commands.cpp).
void handle_leave(Tox *tox, std::uint32_t friend_number, std::int32_t num_args, const CommandArgs &args);
void handle_passwd(Tox *tox, std::uint32_t friend_number, std::int32_t num_args, const CommandArgs &args);
void handle_title(Tox *tox, std::uint32_t friend_number, std::int32_t num_args, const CommandArgs &args);
void handle_gmessage(Tox *tox, std::uint32_t friend_number, std::int32_t num_args, const CommandArgs &args);
void handle_default(Tox *tox, std::uint32_t friend_number, std::int32_t num_args, const CommandArgs &args);

#if ZORVIK_CHANNELS
// Channels (channel_commands.cpp): "channel" founds one; the others run in
// place of the conference handler of the same word when its first argument
// is "#n".
void handle_channel(Tox *tox, std::uint32_t friend_number, std::int32_t num_args, const CommandArgs &args);
void handle_channel_invite(Tox *tox, std::uint32_t friend_number, std::int32_t num_args, const CommandArgs &args);
void handle_channel_title(Tox *tox, std::uint32_t friend_number, std::int32_t num_args, const CommandArgs &args);
void handle_channel_passwd(Tox *tox, std::uint32_t friend_number, std::int32_t num_args, const CommandArgs &args);
void handle_channel_gmessage(Tox *tox, std::uint32_t friend_number, std::int32_t num_args,
                             const CommandArgs &args);
void handle_channel_leave(Tox *tox, std::uint32_t friend_number, std::int32_t num_args, const CommandArgs &args);
// The "Channel #n | ..." lines of "info", lowest number first.
void reply_channel_lines(Tox *tox, std::uint32_t friend_number);
#endif

// Master bot settings (master_settings_commands.cpp).
void handle_master(Tox *tox, std::uint32_t friend_number, std::int32_t num_args, const CommandArgs &args);
void handle_name(Tox *tox, std::uint32_t friend_number, std::int32_t num_args, const CommandArgs &args);
void handle_status(Tox *tox, std::uint32_t friend_number, std::int32_t num_args, const CommandArgs &args);
void handle_statusmessage(Tox *tox, std::uint32_t friend_number, std::int32_t num_args,
                          const CommandArgs &args);
void handle_purge(Tox *tox, std::uint32_t friend_number, std::int32_t num_args, const CommandArgs &args);

// Elapsed time as "<d>d <h>h <m>m", cut to `size` bytes with its NUL; returns
// the length of the full text.
std::int32_t format_uptime(char *buffer, std::int32_t size, std::uint64_t elapsed_seconds);

}  // namespace zorvik
