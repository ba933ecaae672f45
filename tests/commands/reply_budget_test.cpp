// The reply budget: the rows are events in order (lines sent, receipts,
// dropped connections) and whether a command from the friend may run next,
// with the one log line that each refused stretch writes.
//
// Runs inside the private network namespace: the refusal line names the
// friend, which takes a Tox instance (the friends here have no name).
#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "commands/reply_budget.hpp"
#include "support/tox_instances.hpp"

namespace {

using namespace zorvik;

struct Step {
    std::uint32_t friend_number;
    std::uint32_t sent;      // lines queued for the friend first
    std::uint32_t read;      // then receipts from him
    bool dropped;            // then his connection drops
    bool allowed;            // may his next command run?
    const char *logged;      // what that check writes on standard error
};

TEST(ReplyBudget, AFriendWithTooManyLinesUnreadOrAllFriendsTogetherAreNotAnswered)
{
    const test::ToxPtr tox = test::make_tox();
    ASSERT_NE(tox, nullptr) << test::tox_unavailable_reason();
    constexpr std::uint32_t per_friend = reply_lines_per_friend;
    constexpr std::uint32_t total = reply_lines_total;
    const auto line = [](std::uint32_t friend_lines, std::uint32_t all_lines) {
        return "Not answering : " + std::to_string(friend_lines) + " reply lines unread by this friend, " +
               std::to_string(all_lines) + " by all friends\n";
    };
    const std::string held = line(per_friend, per_friend);
    const std::string all_held = line(total - 200 - (per_friend - 1), total);
    const std::string all_held_other = line(0, total);
    const std::vector<Step> steps = {
        {1, per_friend - 1, 0, false, true, ""},
        {1, 1, 0, false, false, held.c_str()},
        {1, 0, 0, false, false, ""},                   // one line per refused stretch
        {2, 0, 0, false, true, ""},                    // another friend is answered
        {1, 0, 1, false, true, ""},                    // one receipt: below the budget again
        {1, 1, 0, false, false, held.c_str()},         // a new stretch logs again
        {1, 0, 0, true, true, ""},                     // a dropped connection forgets his lines
        // Together over the total: even a friend with nothing unread waits.
        {3, total - 1, total - 1 - 200, false, true, ""},
        {4, per_friend - 1, 0, false, true, ""},
        {5, 0, 0, false, true, ""},
        {6, total - 200 - (per_friend - 1), 0, false, false, all_held.c_str()},
        {7, 0, 0, false, false, all_held_other.c_str()},
        {6, 0, total - 200 - (per_friend - 1), false, true, ""},
        {7, 0, 0, false, true, ""},
        {reply_budget_slots, 100000, 0, false, true, ""},  // numbers past the table go uncounted
    };
    reset_reply_budget();
    for (std::size_t i = 0; i < steps.size(); ++i) {
        const Step &step = steps[i];
        for (std::uint32_t k = 0; k < step.sent; ++k) {
            note_reply_sent(step.friend_number);
        }
        for (std::uint32_t k = 0; k < step.read; ++k) {
            note_reply_read(step.friend_number);
        }
        if (step.dropped) {
            forget_replies(step.friend_number);
        }
        testing::internal::CaptureStderr();
        const bool allowed = reply_budget_allows(tox.get(), step.friend_number);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), step.logged) << "step " << i + 1;
        EXPECT_EQ(allowed, step.allowed) << "step " << i + 1 << ", friend " << step.friend_number;
    }
    reset_reply_budget();
}

}  // namespace
