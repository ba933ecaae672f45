// Password guessing is slowed per friend: the rows of each table are tries
// in time order, with the answer the gate gives before the password would
// be checked.
#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "commands/password_tries.hpp"

namespace {

using namespace zorvik;

enum class Try { wrong, right, refused };

struct Step {
    char friend_name;  // 'a', 'b', ...: one key each
    std::uint64_t now;
    Try result;                // wrong or right: checked; refused: not checked
    std::uint32_t minutes = 0; // refused: minutes the reply names
    bool logged = false;       // refused: the first refusal of the lock-out
};

void run_steps(const std::vector<Step> &steps)
{
    reset_password_tries();
    for (std::size_t i = 0; i < steps.size(); ++i) {
        const Step &step = steps[i];
        std::uint8_t key[32] = {};
        key[0] = static_cast<std::uint8_t>(step.friend_name);
        const PasswordGate gate = password_try_gate(key, step.now);
        SCOPED_TRACE("step " + std::to_string(i + 1) + ", friend " + step.friend_name + " at " +
                     std::to_string(step.now) + " s");
        EXPECT_EQ(gate.allowed, step.result != Try::refused);
        if (step.result == Try::refused) {
            EXPECT_EQ(gate.minutes, step.minutes);
            EXPECT_EQ(gate.first_refusal, step.logged);
        } else if (step.result == Try::wrong) {
            note_wrong_password(key, step.now);
        } else {
            note_right_password(key);
        }
    }
}

TEST(PasswordTries, TheFifthWrongPasswordIsCheckedAndTheNextTriesAreRefusedUntilTheLockOutEnds)
{
    run_steps({
        {'a', 100, Try::wrong}, {'a', 101, Try::wrong}, {'a', 102, Try::wrong}, {'a', 103, Try::wrong},
        {'a', 104, Try::wrong},                         // the fifth: checked, and it locks
        {'a', 105, Try::refused, 10, true},             // even the right password is not checked
        {'a', 106, Try::refused, 10, false},            // one log line per lock-out
        {'b', 106, Try::right},                         // another friend is not affected
        {'a', 644, Try::refused, 1, false},
        {'a', 704, Try::wrong},                         // ten minutes after the fifth: tries count again
        {'a', 705, Try::wrong}, {'a', 706, Try::wrong}, {'a', 707, Try::wrong}, {'a', 708, Try::wrong},
        {'a', 709, Try::refused, 10, true},             // a new lock-out, logged again
    });
}

TEST(PasswordTries, TypingMistakesAreForgottenByARightPasswordOrByTime)
{
    run_steps({
        {'a', 0, Try::wrong}, {'a', 1, Try::wrong}, {'a', 2, Try::wrong}, {'a', 3, Try::wrong},
        {'a', 4, Try::right},
        {'a', 5, Try::wrong}, {'a', 6, Try::wrong}, {'a', 7, Try::wrong}, {'a', 8, Try::wrong},
        {'a', 609, Try::wrong},  // more than ten minutes after the last wrong one
        {'a', 610, Try::wrong}, {'a', 611, Try::wrong}, {'a', 612, Try::wrong},
        {'a', 613, Try::wrong},  // the fifth in a row again
        {'a', 614, Try::refused, 10, true},
    });
}

TEST(PasswordTries, ACrowdOfOtherGuessersDoesNotLiftALockOut)
{
    std::vector<Step> steps;
    for (int i = 0; i < 5; ++i) {
        steps.push_back({'a', 10, Try::wrong});
    }
    // More friends guess than the table has entries: they take the place of
    // each other, never of the friend who is locked out.
    for (std::size_t i = 0; i < 2 * password_tries_slots; ++i) {
        steps.push_back({static_cast<char>('b' + i), 20, Try::wrong});
    }
    steps.push_back({'a', 30, Try::refused, 10, true});
    run_steps(steps);
}

}  // namespace
