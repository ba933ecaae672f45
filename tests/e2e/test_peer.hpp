// A Tox friend of the bot, driven by a test: a libtoxcore instance with the
// library's default options that befriends the bot, sends it messages and
// records everything the bot sends back. Single-threaded: the instance is
// iterated inside the wait loops below, nowhere else.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <tox/tox.h>

#include "support/hex.hpp"

namespace zorvik::e2e {

using namespace std::chrono_literals;

class BotProcess;

struct ConferenceInvite {
    std::uint32_t friend_number = 0;
    Tox_Conference_Type type = TOX_CONFERENCE_TYPE_TEXT;
    std::string cookie;  // raw bytes, handed back to join_conference
};

struct ConferenceMessage {
    std::uint32_t conference = 0;
    std::uint32_t peer = 0;
    Tox_Message_Type type = TOX_MESSAGE_TYPE_NORMAL;
    std::string text;
};

struct ConferenceTitle {
    std::uint32_t conference = 0;
    std::uint32_t peer = 0;
    std::string title;
};

#if ZORVIK_CHANNELS
// A channel invitation from a friend (the bot).
struct ChannelInvite {
    std::uint32_t friend_number = 0;
    std::string data;  // raw bytes, handed back to accept_channel_invite
    std::string name;
};

struct ChannelMessage {
    std::uint32_t channel = 0;
    std::string text;
};
#endif

// The bot's profile as this peer sees it.
struct FriendProfile {
    std::string name;
    std::string status_message;
    Tox_User_Status status = TOX_USER_STATUS_NONE;
};

class TestPeer {
public:
    // Creates the Tox instance; ok() tells whether that worked.
    explicit TestPeer(std::string_view name = "E2E Peer");
    ~TestPeer();
    TestPeer(const TestPeer &) = delete;
    TestPeer &operator=(const TestPeer &) = delete;

    bool ok() const { return tox_ != nullptr; }
    Tox *tox() { return tox_; }
    // This peer's Tox ID: 76 upper-case hex digits.
    std::string tox_id() const;

    // Sets this peer's name; the bot learns it at its next iterations.
    bool set_name(std::string_view name);

    // Sends a friend request to the bot's 76-digit ID. False when the
    // library refuses (the reason goes to the test's stderr).
    bool add_bot(const std::string &bot_id, std::string_view request_message = "zorvik e2e");
    // Iterates until the bot is connected as a friend; false at the timeout.
    bool wait_until_connected(std::chrono::milliseconds timeout = 60s);
    bool connected() const;

    // One iteration of the instance and the idle hook, then a short sleep.
    void iterate_once();
    // Iterates for the given time.
    void iterate_for(std::chrono::milliseconds duration);
    // Iterates until `done` returns true (true) or the timeout passes (false).
    bool iterate_until(const std::function<bool()> &done, std::chrono::milliseconds timeout);

    // Sends one friend message of exactly these bytes (NUL bytes included;
    // any length the library accepts, 1372 at most). Waits and retries while
    // the library's send queue is full. False when the library refuses.
    bool send(std::string_view bytes, Tox_Message_Type type = TOX_MESSAGE_TYPE_NORMAL);
    bool send_action(std::string_view bytes) { return send(bytes, TOX_MESSAGE_TYPE_ACTION); }

    // Normal and action messages from the bot, in arrival order. The
    // collecting calls hand over and forget what they return.
    // Waits until `count` messages are held or the timeout passes.
    std::vector<std::string> collect_replies(std::size_t count, std::chrono::milliseconds timeout = 15s);
    // Waits until `quiet` passes with nothing new (at most `limit` in all).
    std::vector<std::string> collect_replies_until_quiet(std::chrono::milliseconds quiet = 1500ms,
                                                         std::chrono::milliseconds limit = 20s);
    // Whatever has arrived so far, without waiting.
    std::vector<std::string> take_replies();

    // send() then collect_replies(count): the usual way to run one command.
    std::vector<std::string> ask(std::string_view bytes, std::size_t count, std::chrono::milliseconds timeout = 15s);

    // Conference invitations from the bot, in arrival order.
    std::optional<ConferenceInvite> wait_for_invite(std::chrono::milliseconds timeout = 10s);
    std::vector<ConferenceInvite> take_invites();
    // Joins a conference of an invitation; its conference number for this
    // peer, or nullopt (reason on the test's stderr).
    std::optional<std::uint32_t> join_conference(const ConferenceInvite &invite);
    // Leaves a conference this peer joined.
    void leave_conference(std::uint32_t conference);

    // Messages and title changes in conferences this peer has joined.
    std::vector<ConferenceMessage> take_conference_messages();
    std::optional<ConferenceMessage> wait_for_conference_message(std::chrono::milliseconds timeout = 10s);
    std::vector<ConferenceTitle> take_conference_titles();
    std::optional<ConferenceTitle> wait_for_conference_title(std::chrono::milliseconds timeout = 10s);

#if ZORVIK_CHANNELS
    // Channel invitations, in arrival order.
    std::optional<ChannelInvite> wait_for_channel_invite(std::chrono::milliseconds timeout = 10s);
    std::vector<ChannelInvite> take_channel_invites();
    // Accepts an invitation, or asks to join a public channel by its chat ID
    // (64 hex digits); this peer's number of the channel, or nullopt when the
    // library refuses at once. Joining takes a moment: see wait_for_channel_join.
    std::optional<std::uint32_t> accept_channel_invite(const ChannelInvite &invite, std::string_view password = {});
    std::optional<std::uint32_t> join_channel(const std::string &chat_id, std::string_view password = {});
    // How the join of `channel` ended: true (in), false (failed, the kind in
    // *failure when given), nullopt (not yet).
    std::optional<bool> channel_join_outcome(std::uint32_t channel,
                                             std::optional<Tox_Group_Join_Fail> *failure = nullptr) const;
    // Iterates this peer until the join's outcome is known; true when in.
    bool wait_for_channel_join(std::uint32_t channel, std::chrono::milliseconds timeout = 30s,
                               std::optional<Tox_Group_Join_Fail> *failure = nullptr);
    // The channel's topic and password as this peer holds them now.
    std::string channel_topic(std::uint32_t channel) const;
    std::string channel_password(std::uint32_t channel) const;
    std::optional<ChannelMessage> wait_for_channel_message(std::chrono::milliseconds timeout = 10s);
#endif

    // The bot's name, status message and user status as seen now.
    FriendProfile bot_profile() const;
    // Iterates until `matches` holds for the bot's profile.
    bool wait_for_bot_profile(const std::function<bool(const FriendProfile &)> &matches,
                              std::chrono::milliseconds timeout = 10s);

    // Drops every recorded reply, invitation, conference message and title.
    void clear();

    // Called in every iteration, for instance to drain the bot's pipes.
    void set_idle_hook(std::function<void()> hook) { idle_hook_ = std::move(hook); }

    // Number of connection changes of the bot seen so far (either way).
    std::size_t connection_changes() const { return connection_changes_; }
    std::optional<std::uint32_t> bot_friend_number() const { return bot_friend_; }

private:
    void register_callbacks();
    static void on_friend_message(Tox *tox, std::uint32_t friend_number, Tox_Message_Type type,
                                  const std::uint8_t *message, std::size_t length, void *user_data);
    static void on_friend_connection(Tox *tox, std::uint32_t friend_number, Tox_Connection status,
                                     void *user_data);
    static void on_conference_invite(Tox *tox, std::uint32_t friend_number, Tox_Conference_Type type,
                                     const std::uint8_t *cookie, std::size_t length, void *user_data);
    static void on_conference_message(Tox *tox, std::uint32_t conference, std::uint32_t peer,
                                      Tox_Message_Type type, const std::uint8_t *message, std::size_t length,
                                      void *user_data);
    static void on_conference_title(Tox *tox, std::uint32_t conference, std::uint32_t peer,
                                    const std::uint8_t *title, std::size_t length, void *user_data);

#if ZORVIK_CHANNELS
    static void on_channel_invite(Tox *tox, std::uint32_t friend_number, const std::uint8_t *data,
                                  std::size_t length, const std::uint8_t *name, std::size_t name_length,
                                  void *user_data);
    static void on_channel_message(Tox *tox, std::uint32_t channel, std::uint32_t peer, Tox_Message_Type type,
                                   const std::uint8_t *message, std::size_t length, std::uint32_t message_id,
                                   void *user_data);
    static void on_channel_self_join(Tox *tox, std::uint32_t channel, void *user_data);
    static void on_channel_join_fail(Tox *tox, std::uint32_t channel, Tox_Group_Join_Fail fail, void *user_data);
    void forget_channel_outcomes(std::uint32_t channel);

    std::vector<ChannelInvite> channel_invites_;
    std::vector<ChannelMessage> channel_messages_;
    std::vector<std::uint32_t> channels_joined_;
    std::vector<std::pair<std::uint32_t, Tox_Group_Join_Fail>> channel_join_failures_;
#endif
    Tox *tox_ = nullptr;
    std::optional<std::uint32_t> bot_friend_;
    Tox_Connection bot_connection_ = TOX_CONNECTION_NONE;
    std::size_t connection_changes_ = 0;
    std::vector<std::string> replies_;
    std::vector<ConferenceInvite> invites_;
    std::vector<ConferenceMessage> conference_messages_;
    std::vector<ConferenceTitle> conference_titles_;
    std::function<void()> idle_hook_;
};

using test::to_hex;

// A peer and a bot process of the test's own: makes each iterate the other
// while the test waits on either (their idle hooks), has the peer send a
// friend request to `bot_id` and waits for the connection. The empty text
// once connected, else what went wrong, with the bot's output.
std::string befriend(TestPeer &peer, BotProcess &bot, const std::string &bot_id,
                     std::chrono::milliseconds timeout = 90s);

// Sends one message and returns exactly the replies it caused: after the
// message an "id" probe is sent, and every reply before the bot's ID is an
// answer to the message (the bot answers in order). Adds a failure when
// replies were left over from before, or when the probe is not answered in
// time or the bot ends instead.
std::vector<std::string> replies_to(TestPeer &peer, BotProcess &bot, const std::string &bot_id,
                                    std::string_view bytes, Tox_Message_Type type = TOX_MESSAGE_TYPE_NORMAL,
                                    std::chrono::milliseconds timeout = 20s);

}  // namespace zorvik::e2e
