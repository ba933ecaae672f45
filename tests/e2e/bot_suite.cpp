#include "bot_suite.hpp"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>

namespace zorvik::e2e {

namespace {

constexpr auto banner_timeout = 15s;
constexpr auto connect_timeout = 90s;
constexpr auto probe_timeout = 20s;

// The bot, its folder and the peer, shared by every test of the binary.
struct SharedBot {
    std::unique_ptr<TempDir> folder;
    std::unique_ptr<BotProcess> bot;
    std::unique_ptr<TestPeer> peer;
    std::string bot_id;
    bool attempted = false;
    bool launched = false;  // the bot process was started at least once
    std::string failure;  // empty while all is well

    void start()
    {
        attempted = true;
        folder = std::make_unique<TempDir>();
        bot = std::make_unique<BotProcess>(folder->path());
        // Each side keeps the other going while a test waits on it (the peer
        // comes after the bot's banner).
        follow_current_peer();

        if (!bot->start()) {
            failure = "the bot could not be started";
            return;
        }
        launched = true;
        bot_id = bot->tox_id(banner_timeout);
        if (bot_id.empty()) {
            failure = "the bot printed no \"ID: \" line\n" + bot->describe_output();
            return;
        }
        failure = befriend_new_peer();
    }

    // Replaces the peer by a new one (a new identity with the default name)
    // that sends the bot a friend request and waits for the connection.
    // Returns what went wrong, or the empty text.
    std::string befriend_new_peer()
    {
        peer = std::make_unique<TestPeer>(default_peer_name);
        const std::string problem = befriend(*peer, *bot, bot_id, connect_timeout);
        follow_current_peer();
        return problem;
    }

    // The bot's waits iterate whichever peer is current, so the hook never
    // outlives a peer that a restart replaces.
    void follow_current_peer()
    {
        bot->set_idle_hook([this] {
            if (peer && peer->ok()) {
                peer->iterate_once();
            }
        });
    }

    // Stops the bot; a nonzero status (a crash, or a leak in a sanitizer
    // build) fails the binary.
    void stop()
    {
        // A later start (--gtest_repeat) sets everything up anew.
        attempted = false;
        failure.clear();
        if (launched) {
            launched = false;
            // A bot that crashed earlier is not signalled; its status is
            // reported.
            const int status = bot->stop();
            EXPECT_EQ(status, 0) << "the bot should exit with status 0 on SIGINT\n" << bot->describe_output();
        }
        peer.reset();
        bot.reset();
        folder.reset();
    }
};

SharedBot &shared()
{
    static SharedBot instance;
    return instance;
}

class SharedBotEnvironment : public ::testing::Environment {
public:
    void TearDown() override { shared().stop(); }
};

// Registered before main runs; its TearDown runs after the last test.
[[maybe_unused]] ::testing::Environment *const environment =
    ::testing::AddGlobalTestEnvironment(new SharedBotEnvironment);

}  // namespace

std::vector<std::string> conference_lines(const std::vector<std::string> &info)
{
    std::vector<std::string> lines;
    for (const std::string &line : info) {
        if (line.rfind("Group ", 0) == 0) {
            lines.push_back(line);
        }
    }
    return lines;
}

void BotSuite::SetUpTestSuite()
{
    if (!shared().attempted) {
        shared().start();
    }
}

void BotSuite::SetUp()
{
    ASSERT_TRUE(shared().failure.empty()) << "setting up the bot and its peer failed: " << shared().failure;
    ASSERT_TRUE(bot().running()) << "the bot is no longer running (exit status "
                                 << bot().exit_status().value_or(exit_status_not_started) << ")\n"
                                 << bot().describe_output();
    ASSERT_TRUE(peer().connected()) << "the peer is not connected to the bot";
    peer().clear();
    start_from_known_state();
}

void BotSuite::start_from_known_state()
{
    // One round trip: the two settings are sent ahead of "info", whose
    // "id" probe then ends the replies to all three.
    make_peer_master(true);
    ASSERT_TRUE(peer().send("default 0") && peer().send("purge 365"));
    const std::vector<std::string> replies = replies_to("info");
    ASSERT_GE(replies.size(), 2u) << "no answer to resetting the default room and the purge limit";
    EXPECT_EQ(replies[0], "Default room number set to 0");
    EXPECT_EQ(replies[1], "Purge time set to 365 days");
    for (std::size_t i = 2; i < replies.size(); ++i) {
        int number = -1;
        if (std::sscanf(replies[i].c_str(), "Group %d |", &number) == 1) {
            EXPECT_EQ(replies_to("leave " + std::to_string(number)),
                      std::vector<std::string>{"Left group " + std::to_string(number)});
        } else if (std::sscanf(replies[i].c_str(), "Channel #%d |", &number) == 1) {
            const std::vector<std::string> left = replies_to("leave #" + std::to_string(number));
            EXPECT_TRUE(left.size() == 1 && left[0].rfind("Left channel #" + std::to_string(number), 0) == 0)
                << ::testing::PrintToString(left);
        }
    }
    make_peer_master(false);
}

BotProcess &BotSuite::bot()
{
    return *shared().bot;
}

TestPeer &BotSuite::peer()
{
    return *shared().peer;
}

const std::string &BotSuite::bot_id()
{
    return shared().bot_id;
}

std::string BotSuite::bot_file(std::string_view name)
{
    return shared().folder->file(name);
}

void BotSuite::write_bot_file(std::string_view name, std::string_view content)
{
    std::ofstream file(bot_file(name), std::ios::binary | std::ios::trunc);
    file.write(content.data(), static_cast<std::streamsize>(content.size()));
    file.close();
    EXPECT_TRUE(file) << "could not write " << bot_file(name);
}

void BotSuite::make_peer_master(bool master)
{
    write_bot_file("masterkeys", master ? peer().tox_id() + "\n" : std::string());
}

std::vector<std::string> BotSuite::replies_to(std::string_view bytes, Tox_Message_Type type)
{
    return e2e::replies_to(peer(), bot(), bot_id(), bytes, type, probe_timeout);
}

namespace {

bool has_line(const std::vector<std::string> &lines, std::size_t from_line, std::string_view line)
{
    for (std::size_t i = from_line; i < lines.size(); ++i) {
        if (lines[i] == line) {
            return true;
        }
    }
    return false;
}

}  // namespace

void BotSuite::expect_stdout_line(std::size_t from_line, std::string_view line)
{
    const bool seen = peer().iterate_until([&] { return has_line(bot().stdout_lines(), from_line, line); }, 5s);
    EXPECT_TRUE(seen) << "expected the line \"" << line << "\" on the bot's stdout\n" << bot().describe_output();
}

void BotSuite::expect_stderr_line(std::size_t from_line, std::string_view line)
{
    const bool seen = peer().iterate_until([&] { return has_line(bot().stderr_lines(), from_line, line); }, 5s);
    EXPECT_TRUE(seen) << "expected the line \"" << line << "\" on the bot's stderr\n" << bot().describe_output();
}

void BotSuite::expect_reply(std::string_view bytes, std::string_view expected)
{
    const std::vector<std::string> replies = replies_to(bytes);
    EXPECT_EQ(replies, std::vector<std::string>{std::string(expected)})
        << "message: \"" << bytes << "\" (" << bytes.size() << " bytes)";
}

int BotSuite::create_group(std::string_view command)
{
    const std::vector<std::string> replies = replies_to(command);
    int number = -1;
    char rest = 0;
    if (replies.size() != 1 || std::sscanf(replies[0].c_str(), "Group chat %d created%c", &number, &rest) < 1) {
        ADD_FAILURE() << "expected one reply \"Group chat N created...\" to \"" << command << "\", got "
                      << ::testing::PrintToString(replies);
        return -1;
    }
    return number;
}

bool BotSuite::restart_bot(BotEnd end)
{
    if (end == BotEnd::interrupt) {
        const int status = bot().stop();
        EXPECT_EQ(status, 0) << "the bot should exit with status 0 on SIGINT\n" << bot().describe_output();
        if (status != 0) {
            return false;
        }
    } else {
        const int status = bot().kill();
        EXPECT_EQ(status, exit_status_signal_base + SIGKILL)
            << "the bot should still run until SIGKILL ends it\n" << bot().describe_output();
        if (status != exit_status_signal_base + SIGKILL) {
            return false;
        }
    }
    if (!bot().start()) {
        ADD_FAILURE() << "the bot could not be started again";
        return false;
    }
    if (bot().tox_id(banner_timeout) != bot_id()) {
        ADD_FAILURE() << "the restarted bot should show the ID " << bot_id() << "\n" << bot().describe_output();
        return false;
    }
    // In this network a peer that keeps its identity can take minutes to find
    // the restarted bot again, while a new friend connects in about 10 s.
    return replace_peer();
}

bool BotSuite::replace_peer()
{
    const std::string failure = shared().befriend_new_peer();
    if (!failure.empty()) {
        ADD_FAILURE() << "a new peer: " << failure;
        shared().failure = failure;
        return false;
    }
    return true;
}

}  // namespace zorvik::e2e
