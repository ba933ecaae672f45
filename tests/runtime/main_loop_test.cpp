// The timer test of the main loop: a job is due again exactly one interval
// after its previous run, not one second later.
#include <gtest/gtest.h>

#include "runtime/main_loop.hpp"

namespace {

using zorvik::interval_elapsed;

TEST(IntervalElapsed, IsDueExactlyOneIntervalAfterTheLastRun)
{
    EXPECT_TRUE(interval_elapsed(0, 3600, 3600));
    EXPECT_FALSE(interval_elapsed(1, 3600, 3600));
    EXPECT_TRUE(interval_elapsed(1, 3601, 3600));
    EXPECT_TRUE(interval_elapsed(1, 100000, 3600));
}

TEST(IntervalElapsed, FirstPassRunsAtAnyRealClockReading)
{
    // The loop starts both timers at 0, so the first pass runs both jobs.
    EXPECT_TRUE(interval_elapsed(0, 1700000000, zorvik::maintenance_interval_seconds));
    EXPECT_EQ(zorvik::maintenance_interval_seconds, 3600u);
}

}  // namespace
