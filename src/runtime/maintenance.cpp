#include "runtime/maintenance.hpp"

#include <cstdlib>
#include <ctime>

#include "bot_state.hpp"
#include "base/memory.hpp"
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
    const std::size_t count = tox_self_get_friend_list_size(tox);
    if (count > 0) {
        auto *friends = static_cast<std::uint32_t *>(alloc_or_exit(count * sizeof(std::uint32_t)));
        tox_self_get_friend_list(tox, friends);
        for (std::size_t i = 0; i < count; ++i) {
            if (!tox_friend_exists(tox, friends[i])) {
                continue;
            }
            Tox_Err_Friend_Get_Last_Online error = TOX_ERR_FRIEND_GET_LAST_ONLINE_OK;
            const std::uint64_t last_online = tox_friend_get_last_online(tox, friends[i], &error);
            if (error != TOX_ERR_FRIEND_GET_LAST_ONLINE_OK) {
                continue;
            }
            const auto now = static_cast<std::uint64_t>(std::time(nullptr));
            if (is_friend_stale(now, last_online, bot_state.inactive_limit_seconds)) {
                tox_friend_delete(tox, friends[i], nullptr);
            }
        }
        std::free(friends);
    }
    save_data(tox, save_path);
}

}  // namespace zorvik
