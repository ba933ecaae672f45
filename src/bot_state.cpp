#include "bot_state.hpp"

namespace zorvik {

BotState bot_state{};

void reset_bot_state(std::uint64_t now)
{
    bot_state.default_room = 0;
    bot_state.start_time = now;
    bot_state.online_friends = 0;
    bot_state.inactive_limit_seconds = default_inactive_limit_seconds;
}

}  // namespace zorvik
