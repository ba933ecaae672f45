// Channels over the wire: a master founds them, friends and strangers join
// them, the bot's commands reach their members, every bound is refused
// before the library sees it, and a killed bot keeps them.
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "bot_suite.hpp"

namespace zorvik::e2e {
namespace {

constexpr auto join_timeout = 60s;
const std::string invalid_channel = "Error: Invalid channel number";

struct Founded {
    std::uint32_t number = 0;
    std::string chat_id;  // public channels only
};

class Channels : public BotSuite {
public:
    // A second Tox instance, not the bot's friend, iterated whenever the
    // peer is (null: none). Set again after a restart, which replaces the
    // peer. Waits on a member go through the peer (member_joined): every
    // instance must keep running, or the friend connection drops and the
    // lookups that find a channel by its ID stall.
    static void keep_member_going(TestPeer *member)
    {
        BotProcess *const running = &bot();
        peer().set_idle_hook([running, member] {
            running->drain();
            if (member != nullptr) {
                member->iterate_once();
            }
        });
    }

protected:
    void SetUp() override
    {
        BotSuite::SetUp();
        make_peer_master(true);
    }

    // Runs "channel ..." and reads "Channel #N created (...)[. Chat ID: X]";
    // the invitation the bot sends with it is taken as well.
    static std::optional<Founded> found(const std::string &command)
    {
        const std::vector<std::string> replies = replies_to(command);
        Founded founded;
        unsigned number = 0;
        char chat_id[65] = {};
        if (replies.size() != 1 || std::sscanf(replies[0].c_str(), "Channel #%u created", &number) != 1) {
            ADD_FAILURE() << "expected \"Channel #N created ...\" in answer to " << command << ", got "
                          << ::testing::PrintToString(replies);
            return std::nullopt;
        }
        founded.number = number;
        const std::size_t at = replies[0].find(". Chat ID: ");
        if (at != std::string::npos && std::sscanf(replies[0].c_str() + at, ". Chat ID: %64s", chat_id) == 1) {
            founded.chat_id = chat_id;
        }
        return founded;
    }

    // The peer accepts the next invitation (with `password`) and waits until
    // it is in; its own number of the channel.
    static std::optional<std::uint32_t> join_by_invite(std::string_view password = {})
    {
        const std::optional<ChannelInvite> invite = peer().wait_for_channel_invite();
        if (!invite) {
            ADD_FAILURE() << "no channel invitation arrived";
            return std::nullopt;
        }
        const std::optional<std::uint32_t> channel = peer().accept_channel_invite(*invite, password);
        if (!channel || !peer().wait_for_channel_join(*channel, join_timeout)) {
            ADD_FAILURE() << "the peer did not get into the channel";
            return std::nullopt;
        }
        return channel;
    }

    // An instance that is not the bot's friend, made once for the whole
    // binary: a new instance that takes over the port of one just ended
    // (with a new key) is not found by lookups for a minute or more.
    static TestPeer &outsider()
    {
        static TestPeer instance("Outsider");
        return instance;
    }

    // Iterates the peer, and with it the member, until the member's join of
    // `channel` has an outcome; true when it is in.
    static bool member_joined(TestPeer &member, std::uint32_t channel)
    {
        peer().iterate_until([&] { return member.channel_join_outcome(channel).has_value(); }, join_timeout);
        return member.channel_join_outcome(channel).value_or(false);
    }

    // Asks "info" until one of its lines is `line`.
    static bool wait_for_info_line(const std::string &line, std::chrono::milliseconds timeout = 30s)
    {
        std::vector<std::string> last;
        const auto deadline = Clock::now() + timeout;
        do {
            last = replies_to("info");
            for (const std::string &each : last) {
                if (each == line) {
                    return true;
                }
            }
            peer().iterate_for(500ms);
        } while (Clock::now() < deadline);
        ADD_FAILURE() << "no \"info\" line " << line << "; last answer " << ::testing::PrintToString(last);
        return false;
    }

};

// Keeps a member going while it lives: declared after the member, so the
// peer never iterates a member that is gone.
struct MemberGoing {
    explicit MemberGoing(TestPeer &member) { Channels::keep_member_going(&member); }
    ~MemberGoing() { Channels::keep_member_going(nullptr); }
};

std::string info_line(std::uint32_t number, const char *kind, int peers, const std::string &name,
                      const std::string &topic, const std::string &chat_id = {})
{
    std::string line = "Channel #" + std::to_string(number) + " | " + kind + " | peers: " + std::to_string(peers) +
                       " | Name: " + name + " | Topic: " + topic;
    return chat_id.empty() ? line : line + " | Chat ID: " + chat_id;
}

TEST_F(Channels, FoundedChannelsTakeFriendsAndStrangersAndCarryTopicPasswordAndMessages)
{
    const std::optional<Founded> lobby = found("channel public \"Lobby\"");
    ASSERT_TRUE(lobby);
    EXPECT_EQ(lobby->chat_id.size(), 64u);
    const std::optional<std::uint32_t> in_lobby = join_by_invite();
    ASSERT_TRUE(in_lobby);
    EXPECT_EQ(tox_group_get_peer_limit(peer().tox(), *in_lobby, nullptr), 40) << "the bot's limit of members";

    expect_reply("title #" + std::to_string(lobby->number) + " \"Hello all\"", "Channel topic set");
    EXPECT_TRUE(peer().iterate_until([&] { return peer().channel_topic(*in_lobby) == "Hello all"; }, 20s));
    expect_reply("gmessage #" + std::to_string(lobby->number) + " \"hi there\"", "Message sent.");
    const std::optional<ChannelMessage> message = peer().wait_for_channel_message(20s);
    ASSERT_TRUE(message);
    EXPECT_EQ(message->text, "hi there");
    expect_reply("passwd #" + std::to_string(lobby->number) + " door", "Password set");
    EXPECT_TRUE(peer().iterate_until([&] { return peer().channel_password(*in_lobby) == "door"; }, 20s));
    expect_reply("passwd #" + std::to_string(lobby->number), "No password set");

    // A private channel behind a password: the invitation without it fails,
    // a wrong try at "invite" is refused, the right one brings a new
    // invitation that works.
    const std::optional<Founded> back = found("channel private \"Back room\" s3cret");
    ASSERT_TRUE(back);
    EXPECT_TRUE(back->chat_id.empty());
    const std::optional<ChannelInvite> first = peer().wait_for_channel_invite();
    ASSERT_TRUE(first);
    const std::optional<std::uint32_t> refused = peer().accept_channel_invite(*first, "guess");
    ASSERT_TRUE(refused);
    std::optional<Tox_Group_Join_Fail> failure;
    EXPECT_FALSE(peer().wait_for_channel_join(*refused, join_timeout, &failure));
    EXPECT_EQ(failure, TOX_GROUP_JOIN_FAIL_INVALID_PASSWORD);
    tox_group_leave(peer().tox(), *refused, nullptr, 0, nullptr);
    const std::string back_number = std::to_string(back->number);
    expect_reply("invite #" + back_number + " guess", "Invalid password.");
    expect_reply("invite #" + back_number + " s3cret", "Invite to channel #" + back_number +
                                                          " sent. If none arrives, leave your old copy of the "
                                                          "channel and ask again.");
    ASSERT_TRUE(join_by_invite("s3cret"));

    // Somebody who is not the bot's friend joins the public one by its ID.
    TestPeer &stranger = outsider();
    ASSERT_TRUE(stranger.ok());
    const MemberGoing going(stranger);
    const std::optional<std::uint32_t> stranger_in = stranger.join_channel(lobby->chat_id);
    ASSERT_TRUE(stranger_in);
    EXPECT_TRUE(member_joined(stranger, *stranger_in));

    EXPECT_TRUE(wait_for_info_line(info_line(lobby->number, "Public", 3, "Lobby", "Hello all", lobby->chat_id)));
    EXPECT_TRUE(wait_for_info_line(info_line(back->number, "Private", 2, "Back room", "None")));
}

TEST_F(Channels, EveryBoundIsRefusedBeforeTheLibraryAndChangesNothing)
{
    const std::optional<Founded> room = found("channel private \"Room\"");
    ASSERT_TRUE(room);
    const std::string n = std::to_string(room->number);
    const std::string absent = std::to_string(room->number + 1);
    struct Case {
        std::string command;
        std::string reply;
    };
    const std::vector<Case> cases = {
        {"channel public", "Usage: channel public|private \"<name>\" [<password>]"},
        {"channel open \"x\"", "Error: Channel type must be public or private"},
        {"channel public x", "Error: Channel name must be enclosed in quotes"},
        {"channel public \"\"", "Error: Channel name must be 1 to 48 bytes"},
        {"channel public \"" + std::string(49, 'n') + "\"", "Error: Channel name must be 1 to 48 bytes"},
        {"channel public \"x\" " + std::string(33, 'p'), "Error: Channel password must be 32 bytes at most"},
        {"title #" + n + " \"" + std::string(513, 't') + "\"", "Error: Channel topic must be 512 bytes at most"},
        {"title #" + n + " untitled", "Error: title must be enclosed in quotes"},
        {"passwd #" + n + " " + std::string(33, 'p'), "Password too long (32 bytes at most for a channel)"},
        {"gmessage #" + n + " unquoted", "Error: Message must be enclosed in quotes"},
        {"invite #" + absent, "Channel doesn't exist."},
        {"invite #x", "Channel doesn't exist."},
        {"title #" + absent + " \"x\"", invalid_channel},
        {"passwd #-1", invalid_channel},
        {"gmessage #" + absent + " \"x\"", invalid_channel},
        {"leave #" + absent, invalid_channel},
    };
    for (const Case &c : cases) {
        expect_reply(c.command, c.reply);
    }
    make_peer_master(false);
    for (const std::string command : {"channel public \"x\"", "leave #0", "title #0 \"x\""}) {
        expect_reply(command, "Invalid command.");
    }
    EXPECT_TRUE(wait_for_info_line(info_line(room->number, "Private", 1, "Room", "None")));
}

TEST_F(Channels, TheTenthIsTheLast)
{
    // Sent in one go: each founding is one reply (the peer ignores the
    // invitations that come with them).
    constexpr int cap = 10;
    for (int i = 0; i < cap; ++i) {
        ASSERT_TRUE(peer().send("channel private \"c" + std::to_string(i) + "\""));
    }
    const std::vector<std::string> replies = peer().collect_replies(cap, 120s);
    ASSERT_EQ(replies.size(), static_cast<std::size_t>(cap));
    for (int i = 0; i < cap; ++i) {
        EXPECT_EQ(replies[static_cast<std::size_t>(i)], "Channel #" + std::to_string(i) + " created (private)");
    }
    expect_reply("channel public \"one more\"", "Channel limit reached (10 channels). Leave one first.");
    peer().take_channel_invites();
}

TEST_F(Channels, AKilledBotKeepsItsChannelsAndItsMembersComeBackWithoutANewInvite)
{
    const std::optional<Founded> kept = found("channel public \"Kept\" pw");
    ASSERT_TRUE(kept);
    const std::string n = std::to_string(kept->number);
    expect_reply("title #" + n + " \"Before\"", "Channel topic set");
    TestPeer &member = outsider();
    ASSERT_TRUE(member.ok());
    const MemberGoing going(member);
    const std::optional<std::uint32_t> member_in = member.join_channel(kept->chat_id, "pw");
    ASSERT_TRUE(member_in);
    ASSERT_TRUE(member_joined(member, *member_in));

    // Killed: only what the bot saved at each change is left.
    ASSERT_TRUE(restart_bot(BotEnd::kill));
    keep_member_going(&member);
    make_peer_master(true);
    EXPECT_TRUE(wait_for_info_line(info_line(kept->number, "Public", 2, "Kept", "Before", kept->chat_id), 90s));
    expect_reply("invite #" + n, "Invalid password.");
    // Still the founder: the topic can change, and reaches the member.
    expect_reply("title #" + n + " \"After\"", "Channel topic set");
    EXPECT_TRUE(peer().iterate_until([&] { return member.channel_topic(*member_in) == "After"; }, 30s));
}

}  // namespace
}  // namespace zorvik::e2e
