#include "runtime/maintenance.hpp"

#include <ctime>

#include "base/tox_lists.hpp"
#include "bot_state.hpp"
#include "storage/save_data.hpp"

namespace zorvik {

bool is_friend_stale(std::uint64_t now, std::uint64_t last_online, std::uint64_t limit)
{
    if (last_online > now) {
        return false;
    }
    return now - last_online > limit;
}

void remove_stale_friends(Tox *tox)
{
    const NumberList friends = fetch_friend_list(tox);
    for (std::size_t i = 0; i < friends.count; ++i) {
        const std::uint32_t friend_number = friends.numbers[i];
        if (!tox_friend_exists(tox, friend_number)) {
            continue;
        }
        Tox_Err_Friend_Get_Last_Online error = TOX_ERR_FRIEND_GET_LAST_ONLINE_OK;
        const std::uint64_t last_online = tox_friend_get_last_online(tox, friend_number, &error);
        if (error != TOX_ERR_FRIEND_GET_LAST_ONLINE_OK) {
            continue;
        }
        const auto now = static_cast<std::uint64_t>(std::time(nullptr));
        if (is_friend_stale(now, last_online, bot_state.inactive_limit_seconds)) {
            tox_friend_delete(tox, friend_number, nullptr);
        }
    }
    save_data(tox, save_path);
}

}  // namespace zorvik
