#include "commands/password_tries.hpp"

#include <array>
#include <cstring>

#include <tox/tox.h>

namespace zorvik {

namespace {

struct PasswordTries {
    std::uint8_t public_key[TOX_PUBLIC_KEY_SIZE];
    std::uint64_t last_wrong;    // monotonic seconds of the last wrong try
    std::uint64_t locked_until;  // monotonic seconds; 0 when not locked
    std::uint32_t wrong_count;
    bool in_use;
    bool refusal_logged;
};

std::array<PasswordTries, password_tries_slots> tries{};

PasswordTries *find_entry(const std::uint8_t *public_key)
{
    for (PasswordTries &entry : tries) {
        if (entry.in_use && std::memcmp(entry.public_key, public_key, TOX_PUBLIC_KEY_SIZE) == 0) {
            return &entry;
        }
    }
    return nullptr;
}

// A free entry, or the one that matters least: unlocked before locked, then
// the oldest last wrong try.
PasswordTries &entry_to_reuse()
{
    PasswordTries *chosen = &tries[0];
    for (PasswordTries &entry : tries) {
        if (!entry.in_use) {
            return entry;
        }
        const bool locked = entry.locked_until != 0;
        const bool chosen_locked = chosen->locked_until != 0;
        if ((chosen_locked && !locked) || (locked == chosen_locked && entry.last_wrong < chosen->last_wrong)) {
            chosen = &entry;
        }
    }
    return *chosen;
}

}  // namespace

PasswordGate password_try_gate(const std::uint8_t *public_key, std::uint64_t now)
{
    PasswordTries *entry = find_entry(public_key);
    if (entry == nullptr || entry->locked_until == 0) {
        return {true, false, 0};
    }
    if (now >= entry->locked_until) {
        *entry = PasswordTries{};
        return {true, false, 0};
    }
    const bool first = !entry->refusal_logged;
    entry->refusal_logged = true;
    const std::uint64_t minutes = (entry->locked_until - now + 59) / 60;
    return {false, first, static_cast<std::uint32_t>(minutes)};
}

void note_wrong_password(const std::uint8_t *public_key, std::uint64_t now)
{
    PasswordTries *entry = find_entry(public_key);
    if (entry == nullptr) {
        entry = &entry_to_reuse();
        *entry = PasswordTries{};
        std::memcpy(entry->public_key, public_key, TOX_PUBLIC_KEY_SIZE);
        entry->in_use = true;
    } else if (now - entry->last_wrong > wrong_password_memory_seconds) {
        entry->wrong_count = 0;
    }
    entry->last_wrong = now;
    if (++entry->wrong_count >= wrong_passwords_allowed) {
        entry->locked_until = now + password_lockout_seconds;
    }
}

void note_right_password(const std::uint8_t *public_key)
{
    PasswordTries *entry = find_entry(public_key);
    if (entry != nullptr) {
        *entry = PasswordTries{};
    }
}

void reset_password_tries()
{
    tries.fill(PasswordTries{});
}

}  // namespace zorvik
