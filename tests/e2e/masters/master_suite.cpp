#include "master_suite.hpp"

#include <fstream>
#include <iterator>

#include <tox/toxav.h>

namespace zorvik::e2e {

std::string conference_line(std::uint32_t number, std::string_view type, int peers, std::string_view title)
{
    return "Group " + std::to_string(number) + " | " + std::string(type) + " | peers: " + std::to_string(peers) +
           " | Title: " + std::string(title);
}

void MasterSuite::SetUp()
{
    BotSuite::SetUp();
    make_peer_master(false);
}

bool MasterSuite::wait_for_conference_line(const std::string &line, std::vector<std::string> *last,
                                           std::chrono::milliseconds timeout)
{
    const auto deadline = Clock::now() + timeout;
    for (;;) {
        std::vector<std::string> lines = info();
        bool seen = false;
        for (const std::string &candidate : lines) {
            seen = seen || candidate == line;
        }
        if (last != nullptr) {
            *last = std::move(lines);
        }
        if (seen) {
            return true;
        }
        if (Clock::now() >= deadline) {
            return false;
        }
        peer().iterate_for(250ms);
    }
}

std::optional<std::uint32_t> MasterSuite::join_bot_conference(std::uint32_t number)
{
    const std::string command = "invite " + std::to_string(number);
    const std::vector<std::string> replies = replies_to(command);
    if (!replies.empty()) {
        ADD_FAILURE() << "\"" << command << "\" should be answered by the invitation alone, got "
                      << ::testing::PrintToString(replies);
        return std::nullopt;
    }
    const std::optional<ConferenceInvite> invite = peer().wait_for_invite(15s);
    if (!invite) {
        ADD_FAILURE() << "no invitation into conference " << number << " arrived after \"" << command << "\"";
        return std::nullopt;
    }
    const std::optional<std::uint32_t> joined = peer().join_conference(*invite);
    if (!joined) {
        ADD_FAILURE() << "the peer could not join conference " << number << " with the bot's invitation";
        return std::nullopt;
    }
    // The bot's count reaches two once the peer has announced itself.
    const auto two_peers = [&] {
        for (const std::string &line : conferences()) {
            if (line.rfind("Group " + std::to_string(number) + " | ", 0) == 0 &&
                line.find(" | peers: 2 | ") != std::string::npos) {
                return true;
            }
        }
        return false;
    };
    const auto deadline = Clock::now() + 30s;
    while (!two_peers()) {
        if (Clock::now() >= deadline) {
            ADD_FAILURE() << "\"info\" should count 2 peers in conference " << number
                          << " within 30 s of the peer joining; got " << ::testing::PrintToString(info());
            peer().leave_conference(*joined);
            return std::nullopt;
        }
        peer().iterate_for(250ms);
    }
    return joined;
}

std::optional<std::uint32_t> MasterSuite::peer_new_conference(Tox_Conference_Type type)
{
    if (type == TOX_CONFERENCE_TYPE_AV) {
        const int number = toxav_add_av_groupchat(peer().tox(), nullptr, nullptr);
        if (number < 0) {
            ADD_FAILURE() << "the peer could not create an audio conference";
            return std::nullopt;
        }
        return static_cast<std::uint32_t>(number);
    }
    Tox_Err_Conference_New error = TOX_ERR_CONFERENCE_NEW_OK;
    const std::uint32_t number = tox_conference_new(peer().tox(), &error);
    if (error != TOX_ERR_CONFERENCE_NEW_OK) {
        ADD_FAILURE() << "the peer could not create a conference (error " << error << ")";
        return std::nullopt;
    }
    return number;
}

bool MasterSuite::peer_invite_bot(std::uint32_t conference)
{
    const std::optional<std::uint32_t> bot_friend = peer().bot_friend_number();
    if (!bot_friend) {
        ADD_FAILURE() << "the peer has no friend number for the bot";
        return false;
    }
    Tox_Err_Conference_Invite error = TOX_ERR_CONFERENCE_INVITE_OK;
    tox_conference_invite(peer().tox(), *bot_friend, conference, &error);
    if (error != TOX_ERR_CONFERENCE_INVITE_OK) {
        ADD_FAILURE() << "the peer could not invite the bot into its conference " << conference << " (error "
                      << error << ")";
        return false;
    }
    return true;
}

bool MasterSuite::peer_set_title(std::uint32_t conference, std::string_view title)
{
    Tox_Err_Conference_Title error = TOX_ERR_CONFERENCE_TITLE_OK;
    tox_conference_set_title(peer().tox(), conference, reinterpret_cast<const std::uint8_t *>(title.data()),
                             title.size(), &error);
    if (error != TOX_ERR_CONFERENCE_TITLE_OK) {
        ADD_FAILURE() << "the peer could not set the title of its conference " << conference << " (error " << error
                      << ")";
        return false;
    }
    return true;
}

std::vector<std::string> MasterSuite::stderr_lines_after(std::size_t from_line)
{
    std::vector<std::string> lines;
    const std::vector<std::string> all = bot().stderr_lines();
    for (std::size_t i = from_line; i < all.size(); ++i) {
        if (all[i].rfind("Connection to Tox network ", 0) != 0) {
            lines.push_back(all[i]);
        }
    }
    return lines;
}

std::optional<std::string> MasterSuite::stdout_line_starting(std::size_t from_line, std::string_view prefix)
{
    const std::optional<std::string> line = bot().wait_for_stdout(prefix, 10s, from_line);
    if (!line || line->rfind(prefix, 0) != 0) {
        ADD_FAILURE() << "expected a line beginning with \"" << prefix << "\" on the bot's stdout\n"
                      << bot().describe_output();
        return std::nullopt;
    }
    return line;
}

}  // namespace zorvik::e2e
