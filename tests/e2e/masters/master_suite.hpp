// Fixture for the wire tests of the master commands, the information
// commands and the conference events: the shared bot and peer of BotSuite,
// plus the steps these tests repeat (reading "info", waiting for a conference
// line, joining one of the bot's conferences, conferences made by the peer).
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <tox/tox.h>

#include "bot_suite.hpp"

namespace zorvik::e2e {

// The name the peer has in every log line of the bot.

inline const std::string invalid_group_number = "Error: Invalid group number";
inline const std::string master_refusal = "Invalid command.";

// «Group N | Text | peers: P | Title: T».
std::string conference_line(std::uint32_t number, std::string_view type, int peers, std::string_view title);

using test::read_file;

class MasterSuite : public BotSuite {
protected:
    // The shared bot, with the peer as a non-master.
    void SetUp() override;

    // The bot's "info" lines.
    static std::vector<std::string> info() { return replies_to("info"); }
    static std::vector<std::string> conferences() { return conference_lines(info()); }

    // Asks "info" until one of its lines equals `line`; false (with the last
    // answer in `last`) at the timeout. Peer counts and titles travel through
    // the conference, so they show up a moment after the event.
    static bool wait_for_conference_line(const std::string &line, std::vector<std::string> *last = nullptr,
                                         std::chrono::milliseconds timeout = 30s);

    // Has the bot invite the peer into its unprotected conference `number`
    // ("invite N"), joins it and waits until the bot counts two peers. The
    // peer's own number of the conference, or nullopt with a failure added.
    static std::optional<std::uint32_t> join_bot_conference(std::uint32_t number);

    // A conference created by the peer (text or audio); nullopt with a
    // failure added.
    static std::optional<std::uint32_t> peer_new_conference(Tox_Conference_Type type = TOX_CONFERENCE_TYPE_TEXT);
    // The peer invites the bot into one of its conferences.
    static bool peer_invite_bot(std::uint32_t conference);
    // The peer sets the title of one of its conferences.
    static bool peer_set_title(std::uint32_t conference, std::string_view title);

    // Stderr lines from index `from_line` on, without the bot's reports on
    // its own network connection, which come whenever the network changes.
    static std::vector<std::string> stderr_lines_after(std::size_t from_line);

    // Waits (10 s) for a stdout line at or after `from_line` that begins with
    // `prefix`; the line, or nullopt with a failure added.
    static std::optional<std::string> stdout_line_starting(std::size_t from_line, std::string_view prefix);
};

}  // namespace zorvik::e2e
