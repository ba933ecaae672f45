#include "runtime/main_loop.hpp"

#include <ctime>

#include <unistd.h>

#include "bot_state.hpp"
#include "groups/conferences.hpp"
#include "groups/registry.hpp"
#include "runtime/maintenance.hpp"
#include "storage/save_data.hpp"

namespace zorvik {

bool interval_elapsed(std::uint64_t last, std::uint64_t now, std::uint64_t interval)
{
    return now >= last + interval;
}

void run_main_loop(Tox *tox)
{
    // Both start at 0, so both jobs run in the first pass, purge first.
    std::uint64_t last_purge_time = 0;
    std::uint64_t last_sweep_time = 0;
    while (bot_state.stop_requested == 0) {
        const auto now = static_cast<std::uint64_t>(std::time(nullptr));
        if (interval_elapsed(last_purge_time, now, maintenance_interval_seconds)) {
            remove_stale_friends(tox);
            last_purge_time = now;
        }
        if (interval_elapsed(last_sweep_time, now, maintenance_interval_seconds)) {
            sweep_empty_groups(tox);
            last_sweep_time = now;
        }
        tox_iterate(tox, nullptr);
        usleep(tox_iteration_interval(tox) * 1000);
    }
}

void shut_down(Tox *tox)
{
    if (tox_conference_get_chatlist_size(tox) != 0) {
        for (std::int32_t i = 0; i < bot_state.group_slots; ++i) {
            bot_state.groups[i] = GroupRecord{};
        }
        registry_resize(0);
        delete_all_conferences(tox);
    }
    save_data(tox, save_path);
    tox_kill(tox);
}

}  // namespace zorvik
