#include "runtime/main_loop.hpp"

#include <unistd.h>

#include "base/clock.hpp"
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

bool job_due(JobSchedule &job, std::uint64_t now, std::uint64_t interval)
{
    if (job.has_run && !interval_elapsed(job.last_run, now, interval)) {
        return false;
    }
    job = JobSchedule{true, now};
    return true;
}

void run_main_loop(Tox *tox)
{
    // Both jobs run in the first pass, purge first, then hourly. (Friends'
    // ages stay on the wall clock: the library keeps last-online times so.)
    JobSchedule purge{};
    JobSchedule sweep{};
    while (bot_state.stop_requested == 0) {
        const std::uint64_t now = monotonic_seconds();
        if (job_due(purge, now, maintenance_interval_seconds)) {
            remove_stale_friends(tox);
        }
        if (job_due(sweep, now, maintenance_interval_seconds)) {
            sweep_empty_groups(tox);
        }
        tox_iterate(tox, nullptr);
        usleep(tox_iteration_interval(tox) * 1000);
    }
}

void shut_down(Tox *tox)
{
    if (tox_conference_get_chatlist_size(tox) != 0) {
        registry_clear();
        delete_all_conferences(tox);
    }
    save_data(tox, save_path);
    tox_kill(tox);
}

}  // namespace zorvik
