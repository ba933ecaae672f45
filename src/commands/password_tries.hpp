// Wrong "invite" passwords, counted per friend to slow down guessing. A
// friend may get a conference password wrong a few times (typing mistakes
// are never punished); the try after that is refused without being checked,
// and so is every try until a lock-out has passed. At five wrong tries per
// ten minutes a four-digit password costs a single friend a week on
// average, a four-letter one more than a year.
//
// The counts live in a fixed table owned by this file, keyed by public key
// (a friend number can pass to another friend). When the table is full the
// entry whose last wrong try is oldest gives way, locked entries last.
#pragma once

#include <cstddef>
#include <cstdint>

namespace zorvik {

constexpr std::uint32_t wrong_passwords_allowed = 5;
// A count whose last wrong try is older than this starts again from zero.
constexpr std::uint64_t wrong_password_memory_seconds = 600;
// How long tries are refused after the last allowed wrong one.
constexpr std::uint64_t password_lockout_seconds = 600;
constexpr std::size_t password_tries_slots = 64;

// What may happen to a password try from a friend at `now` (seconds of
// monotonic_seconds in base/clock.hpp).
struct PasswordGate {
    bool allowed;           // check the password
    bool first_refusal;     // refused, and the first refusal of this lock-out
    std::uint32_t minutes;  // refused: whole minutes until tries count again
};
PasswordGate password_try_gate(const std::uint8_t *public_key, std::uint64_t now);

// Counts a wrong password; the wrong_passwords_allowed-th locks the friend
// out for password_lockout_seconds.
void note_wrong_password(const std::uint8_t *public_key, std::uint64_t now);

// A right password: the friend's count is forgotten.
void note_right_password(const std::uint8_t *public_key);

// Forgets every count (start-up state, and tests).
void reset_password_tries();

}  // namespace zorvik
