// The main loop: hourly maintenance, library iterations paced by the
// library's own interval, and the orderly shutdown after SIGINT.
#pragma once

#include <cstdint>

#include <tox/tox.h>

namespace zorvik {

constexpr std::uint64_t maintenance_interval_seconds = 3600;

// True when now >= last + interval: a job is due again exactly one interval
// after its previous run.
bool interval_elapsed(std::uint64_t last, std::uint64_t now, std::uint64_t interval);

// One hourly job's schedule, in seconds of the monotonic clock, so that a
// wall clock stepped back (or forward) neither holds the job nor runs it
// early.
struct JobSchedule {
    bool has_run;
    std::uint64_t last_run;
};

// True when the job is due at `now`: in the loop's first pass, then once
// `interval` has elapsed since its last run. A due job counts as run at
// `now`.
bool job_due(JobSchedule &job, std::uint64_t now, std::uint64_t interval);

// Runs until bot_state.stop_requested is found set at the top of a pass.
void run_main_loop(Tox *tox);

// Leaves every conference, empties the registry, saves and releases the
// instance.
void shut_down(Tox *tox);

}  // namespace zorvik
