// The one process-wide bot state and the library limits that several
// subsystems share. Filled at every start, never saved.
#pragma once

#include <csignal>
#include <cstddef>
#include <cstdint>

#include <tox/tox.h>

namespace zorvik {

// Texts handed over by the library are length-counted; inside the bot every
// text is NUL-terminated in a fixed buffer sized by these limits.
constexpr std::size_t max_message_length = TOX_MAX_MESSAGE_LENGTH;  // 1372
constexpr std::size_t max_name_length = TOX_MAX_NAME_LENGTH;        // 128
constexpr std::size_t public_key_size = TOX_PUBLIC_KEY_SIZE;        // 32
constexpr std::size_t address_size = TOX_ADDRESS_SIZE;              // 38
constexpr std::size_t password_size = 64;  // 63 characters and the NUL
constexpr std::size_t longest_password = password_size - 1;

constexpr std::uint64_t seconds_per_day = 86400;
constexpr std::uint64_t default_inactive_limit_seconds = 365 * seconds_per_day;

struct BotState {
    std::uint64_t start_time;
    std::uint64_t inactive_limit_seconds;
    std::int32_t default_room;
    std::int32_t online_friends;
    // Set only by the SIGINT handler; sig_atomic_t is the type a handler may
    // store into safely.
    volatile std::sig_atomic_t stop_requested;
};

extern BotState bot_state;

// Puts every field at its start-up value; called once by start-up, and by
// tests that need a fresh state.
void reset_bot_state(std::uint64_t now);

}  // namespace zorvik
