#include "test_peer.hpp"

#include "bot_process.hpp"
#include "support/hex.hpp"
#include "support/private_netns.hpp"

#include <algorithm>
#include <cstdio>
#include <thread>
#include <utility>

#include <gtest/gtest.h>
#include <tox/toxav.h>

namespace zorvik::e2e {

namespace {

// Upper bound of one sleep between iterations: short, so replies are seen
// soon after they arrive, whatever interval the library asks for.
constexpr auto longest_pause = 20ms;

// The name a peer gives itself inside a channel.
constexpr std::string_view default_peer_name_for_channels = "E2E Member";

std::string bytes_to_string(const std::uint8_t *bytes, std::size_t length)
{
    return std::string(reinterpret_cast<const char *>(bytes), length);
}

TestPeer *self(void *user_data)
{
    return static_cast<TestPeer *>(user_data);
}

}  // namespace

std::string befriend(TestPeer &peer, BotProcess &bot, const std::string &bot_id, std::chrono::milliseconds timeout)
{
    if (!peer.ok()) {
        return "the test peer's Tox instance could not be created";
    }
    bot.set_idle_hook([&peer] { peer.iterate_once(); });
    peer.set_idle_hook([&bot] { bot.drain(); });
    if (!peer.add_bot(bot_id)) {
        return "the peer could not send a friend request to " + bot_id;
    }
    const auto begin = Clock::now();
    if (!peer.wait_until_connected(timeout)) {
        return "the bot did not connect to the peer within " +
               std::to_string(std::chrono::duration_cast<std::chrono::seconds>(timeout).count()) + " s\n" +
               bot.describe_output();
    }
    const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - begin);
    std::fprintf(stderr, "e2e: peer connected to the bot after %lld ms\n", static_cast<long long>(took.count()));
    return {};
}

std::vector<std::string> replies_to(TestPeer &peer, BotProcess &bot, const std::string &bot_id,
                                    std::string_view bytes, Tox_Message_Type type, std::chrono::milliseconds timeout)
{
    std::vector<std::string> replies = peer.take_replies();
    EXPECT_TRUE(replies.empty()) << "replies left over from before: " << ::testing::PrintToString(replies);
    replies.clear();
    if (!peer.send(bytes, type) || !peer.send("id")) {
        ADD_FAILURE() << "the peer could not send to the bot";
        return replies;
    }
    const auto deadline = Clock::now() + timeout;
    for (;;) {
        for (std::string &reply : peer.take_replies()) {
            if (reply == bot_id) {
                return replies;
            }
            replies.push_back(std::move(reply));
        }
        if (!bot.running()) {
            ADD_FAILURE() << "the bot ended (exit status " << bot.exit_status().value_or(exit_status_not_started)
                          << ") instead of answering the \"id\" probe\n"
                          << bot.describe_output();
            return replies;
        }
        if (Clock::now() >= deadline) {
            ADD_FAILURE() << "expected the bot's ID in answer to the \"id\" probe within "
                          << std::chrono::duration_cast<std::chrono::seconds>(timeout).count() << " s, got "
                          << replies.size() << " other replies\n"
                          << bot.describe_output();
            return replies;
        }
        peer.iterate_once();
    }
}

TestPeer::TestPeer(std::string_view name)
{
    if (!zorvik::test::in_private_netns()) {
        std::fprintf(stderr, "e2e: refusing to create a test peer outside scripts/netns-run\n");
        return;
    }
    Tox_Err_New error = TOX_ERR_NEW_OK;
    tox_ = tox_new(nullptr, &error);  // the library's default options
    if (tox_ == nullptr) {
        std::fprintf(stderr, "e2e: test peer tox_new failed with error %d\n", static_cast<int>(error));
        return;
    }
    register_callbacks();
    set_name(name);
}

void TestPeer::register_callbacks()
{
    tox_callback_friend_message(tox_, on_friend_message);
    tox_callback_friend_connection_status(tox_, on_friend_connection);
    tox_callback_conference_invite(tox_, on_conference_invite);
    tox_callback_conference_message(tox_, on_conference_message);
    tox_callback_conference_title(tox_, on_conference_title);
#if ZORVIK_CHANNELS
    tox_callback_group_invite(tox_, on_channel_invite);
    tox_callback_group_message(tox_, on_channel_message);
    tox_callback_group_self_join(tox_, on_channel_self_join);
    tox_callback_group_join_fail(tox_, on_channel_join_fail);
#endif
}

TestPeer::~TestPeer()
{
    if (tox_ != nullptr) {
        tox_kill(tox_);
    }
}

std::string TestPeer::tox_id() const
{
    std::uint8_t address[TOX_ADDRESS_SIZE];
    tox_self_get_address(tox_, address);
    return to_hex(address, sizeof address);
}

bool TestPeer::set_name(std::string_view name)
{
    Tox_Err_Set_Info error = TOX_ERR_SET_INFO_OK;
    tox_self_set_name(tox_, reinterpret_cast<const std::uint8_t *>(name.data()), name.size(), &error);
    return error == TOX_ERR_SET_INFO_OK;
}

bool TestPeer::add_bot(const std::string &bot_id, std::string_view request_message)
{
    if (bot_id.size() != 2 * TOX_ADDRESS_SIZE) {
        std::fprintf(stderr, "e2e: bot ID \"%s\" is not 76 hex digits\n", bot_id.c_str());
        return false;
    }
    std::uint8_t address[TOX_ADDRESS_SIZE];
    if (!test::from_hex(bot_id, address, sizeof address)) {
        std::fprintf(stderr, "e2e: bot ID \"%s\" holds a non-hex digit\n", bot_id.c_str());
        return false;
    }
    Tox_Err_Friend_Add error = TOX_ERR_FRIEND_ADD_OK;
    const std::uint32_t number =
        tox_friend_add(tox_, address, reinterpret_cast<const std::uint8_t *>(request_message.data()),
                       request_message.size(), &error);
    if (error != TOX_ERR_FRIEND_ADD_OK) {
        std::fprintf(stderr, "e2e: tox_friend_add failed with error %d\n", static_cast<int>(error));
        return false;
    }
    bot_friend_ = number;
    bot_connection_ = TOX_CONNECTION_NONE;
    return true;
}

bool TestPeer::connected() const
{
    return bot_friend_.has_value() && bot_connection_ != TOX_CONNECTION_NONE;
}

bool TestPeer::wait_until_connected(std::chrono::milliseconds timeout)
{
    return iterate_until([this] { return connected(); }, timeout);
}

void TestPeer::iterate_once()
{
    tox_iterate(tox_, this);
    if (idle_hook_) {
        idle_hook_();
    }
    const auto interval = std::chrono::milliseconds(tox_iteration_interval(tox_));
    std::this_thread::sleep_for(interval < longest_pause ? interval : longest_pause);
}

void TestPeer::iterate_for(std::chrono::milliseconds duration)
{
    const auto deadline = Clock::now() + duration;
    while (Clock::now() < deadline) {
        iterate_once();
    }
}

bool TestPeer::iterate_until(const std::function<bool()> &done, std::chrono::milliseconds timeout)
{
    const auto deadline = Clock::now() + timeout;
    for (;;) {
        if (done()) {
            return true;
        }
        if (Clock::now() >= deadline) {
            return false;
        }
        iterate_once();
    }
}

bool TestPeer::send(std::string_view bytes, Tox_Message_Type type)
{
    if (!bot_friend_) {
        std::fprintf(stderr, "e2e: send before add_bot\n");
        return false;
    }
    const auto deadline = Clock::now() + 15s;
    for (;;) {
        Tox_Err_Friend_Send_Message error = TOX_ERR_FRIEND_SEND_MESSAGE_OK;
        tox_friend_send_message(tox_, *bot_friend_, type, reinterpret_cast<const std::uint8_t *>(bytes.data()),
                                bytes.size(), &error);
        if (error == TOX_ERR_FRIEND_SEND_MESSAGE_OK) {
            return true;
        }
        // A full send queue empties as the library iterates; anything else
        // (not connected, too long, empty) is final.
        if (error != TOX_ERR_FRIEND_SEND_MESSAGE_SENDQ || Clock::now() >= deadline) {
            std::fprintf(stderr, "e2e: tox_friend_send_message of %zu bytes failed with error %d\n", bytes.size(),
                         static_cast<int>(error));
            return false;
        }
        iterate_once();
    }
}

std::vector<std::string> TestPeer::collect_replies(std::size_t count, std::chrono::milliseconds timeout)
{
    iterate_until([&] { return replies_.size() >= count; }, timeout);
    return take_replies();
}

std::vector<std::string> TestPeer::collect_replies_until_quiet(std::chrono::milliseconds quiet,
                                                               std::chrono::milliseconds limit)
{
    const auto end = Clock::now() + limit;
    auto quiet_since = Clock::now();
    std::size_t seen = replies_.size();
    while (Clock::now() < end && Clock::now() - quiet_since < quiet) {
        iterate_once();
        if (replies_.size() != seen) {
            seen = replies_.size();
            quiet_since = Clock::now();
        }
    }
    return take_replies();
}

std::vector<std::string> TestPeer::take_replies()
{
    std::vector<std::string> taken;
    taken.swap(replies_);
    return taken;
}

std::vector<std::string> TestPeer::ask(std::string_view bytes, std::size_t count, std::chrono::milliseconds timeout)
{
    if (!send(bytes)) {
        return {};
    }
    return collect_replies(count, timeout);
}

std::optional<ConferenceInvite> TestPeer::wait_for_invite(std::chrono::milliseconds timeout)
{
    if (!iterate_until([this] { return !invites_.empty(); }, timeout)) {
        return std::nullopt;
    }
    ConferenceInvite first = invites_.front();
    invites_.erase(invites_.begin());
    return first;
}

std::vector<ConferenceInvite> TestPeer::take_invites()
{
    std::vector<ConferenceInvite> taken;
    taken.swap(invites_);
    return taken;
}

std::optional<std::uint32_t> TestPeer::join_conference(const ConferenceInvite &invite)
{
    const auto *cookie = reinterpret_cast<const std::uint8_t *>(invite.cookie.data());
    if (invite.type == TOX_CONFERENCE_TYPE_AV) {
        const int number = toxav_join_av_groupchat(tox_, invite.friend_number, cookie,
                                                   static_cast<std::uint16_t>(invite.cookie.size()), nullptr,
                                                   nullptr);
        if (number < 0) {
            std::fprintf(stderr, "e2e: toxav_join_av_groupchat failed\n");
            return std::nullopt;
        }
        return static_cast<std::uint32_t>(number);
    }
    Tox_Err_Conference_Join error = TOX_ERR_CONFERENCE_JOIN_OK;
    const std::uint32_t number =
        tox_conference_join(tox_, invite.friend_number, cookie, invite.cookie.size(), &error);
    if (error != TOX_ERR_CONFERENCE_JOIN_OK) {
        std::fprintf(stderr, "e2e: tox_conference_join failed with error %d\n", static_cast<int>(error));
        return std::nullopt;
    }
    return number;
}

void TestPeer::leave_conference(std::uint32_t conference)
{
    tox_conference_delete(tox_, conference, nullptr);
}

std::vector<ConferenceMessage> TestPeer::take_conference_messages()
{
    std::vector<ConferenceMessage> taken;
    taken.swap(conference_messages_);
    return taken;
}

std::optional<ConferenceMessage> TestPeer::wait_for_conference_message(std::chrono::milliseconds timeout)
{
    if (!iterate_until([this] { return !conference_messages_.empty(); }, timeout)) {
        return std::nullopt;
    }
    ConferenceMessage first = conference_messages_.front();
    conference_messages_.erase(conference_messages_.begin());
    return first;
}

std::vector<ConferenceTitle> TestPeer::take_conference_titles()
{
    std::vector<ConferenceTitle> taken;
    taken.swap(conference_titles_);
    return taken;
}

std::optional<ConferenceTitle> TestPeer::wait_for_conference_title(std::chrono::milliseconds timeout)
{
    if (!iterate_until([this] { return !conference_titles_.empty(); }, timeout)) {
        return std::nullopt;
    }
    ConferenceTitle first = conference_titles_.front();
    conference_titles_.erase(conference_titles_.begin());
    return first;
}

FriendProfile TestPeer::bot_profile() const
{
    FriendProfile profile;
    if (!bot_friend_) {
        return profile;
    }
    const std::uint32_t bot = *bot_friend_;
    const std::size_t name_size = tox_friend_get_name_size(tox_, bot, nullptr);
    if (name_size != SIZE_MAX) {
        std::string name(name_size, '\0');
        if (tox_friend_get_name(tox_, bot, reinterpret_cast<std::uint8_t *>(name.data()), nullptr)) {
            profile.name = name;
        }
    }
    const std::size_t message_size = tox_friend_get_status_message_size(tox_, bot, nullptr);
    if (message_size != SIZE_MAX) {
        std::string message(message_size, '\0');
        if (tox_friend_get_status_message(tox_, bot, reinterpret_cast<std::uint8_t *>(message.data()), nullptr)) {
            profile.status_message = message;
        }
    }
    profile.status = tox_friend_get_status(tox_, bot, nullptr);
    return profile;
}

bool TestPeer::wait_for_bot_profile(const std::function<bool(const FriendProfile &)> &matches,
                                    std::chrono::milliseconds timeout)
{
    return iterate_until([&] { return matches(bot_profile()); }, timeout);
}

void TestPeer::clear()
{
    replies_.clear();
    invites_.clear();
    conference_messages_.clear();
    conference_titles_.clear();
#if ZORVIK_CHANNELS
    channel_invites_.clear();
    channel_messages_.clear();
#endif
}

// The callbacks only record what arrived: no library calls, nothing that can
// throw back into the library.

void TestPeer::on_friend_message(Tox *, std::uint32_t friend_number, Tox_Message_Type, const std::uint8_t *message,
                                 std::size_t length, void *user_data) try {
    TestPeer *peer = self(user_data);
    if (peer->bot_friend_ == friend_number) {
        peer->replies_.push_back(bytes_to_string(message, length));
    }
} catch (...) {
    std::fprintf(stderr, "e2e: could not record a friend message\n");
}

void TestPeer::on_friend_connection(Tox *, std::uint32_t friend_number, Tox_Connection status, void *user_data)
{
    TestPeer *peer = self(user_data);
    if (peer->bot_friend_ == friend_number) {
        peer->bot_connection_ = status;
        ++peer->connection_changes_;
    }
}

void TestPeer::on_conference_invite(Tox *, std::uint32_t friend_number, Tox_Conference_Type type,
                                    const std::uint8_t *cookie, std::size_t length, void *user_data) try {
    self(user_data)->invites_.push_back(ConferenceInvite{friend_number, type, bytes_to_string(cookie, length)});
} catch (...) {
    std::fprintf(stderr, "e2e: could not record a conference invitation\n");
}

void TestPeer::on_conference_message(Tox *, std::uint32_t conference, std::uint32_t peer_number,
                                     Tox_Message_Type type, const std::uint8_t *message, std::size_t length,
                                     void *user_data) try {
    self(user_data)->conference_messages_.push_back(
        ConferenceMessage{conference, peer_number, type, bytes_to_string(message, length)});
} catch (...) {
    std::fprintf(stderr, "e2e: could not record a conference message\n");
}

void TestPeer::on_conference_title(Tox *, std::uint32_t conference, std::uint32_t peer_number,
                                   const std::uint8_t *title, std::size_t length, void *user_data) try {
    self(user_data)->conference_titles_.push_back(
        ConferenceTitle{conference, peer_number, bytes_to_string(title, length)});
} catch (...) {
    std::fprintf(stderr, "e2e: could not record a conference title\n");
}

#if ZORVIK_CHANNELS

void TestPeer::on_channel_invite(Tox *, std::uint32_t friend_number, const std::uint8_t *data, std::size_t length,
                                 const std::uint8_t *name, std::size_t name_length, void *user_data)
{
    self(user_data)->channel_invites_.push_back(
        {friend_number, bytes_to_string(data, length), bytes_to_string(name, name_length)});
}

void TestPeer::on_channel_message(Tox *, std::uint32_t channel, std::uint32_t, Tox_Message_Type,
                                  const std::uint8_t *message, std::size_t length, std::uint32_t, void *user_data)
{
    self(user_data)->channel_messages_.push_back({channel, bytes_to_string(message, length)});
}

void TestPeer::on_channel_self_join(Tox *, std::uint32_t channel, void *user_data)
{
    self(user_data)->channels_joined_.push_back(channel);
}

void TestPeer::on_channel_join_fail(Tox *, std::uint32_t channel, Tox_Group_Join_Fail fail, void *user_data)
{
    self(user_data)->channel_join_failures_.emplace_back(channel, fail);
}

void TestPeer::forget_channel_outcomes(std::uint32_t channel)
{
    // A number freed by leaving comes back for the next channel: what its
    // last join did says nothing about this one.
    std::erase(channels_joined_, channel);
    std::erase_if(channel_join_failures_, [channel](const auto &failure) { return failure.first == channel; });
}

std::optional<ChannelInvite> TestPeer::wait_for_channel_invite(std::chrono::milliseconds timeout)
{
    if (!iterate_until([this] { return !channel_invites_.empty(); }, timeout)) {
        return std::nullopt;
    }
    ChannelInvite invite = channel_invites_.front();
    channel_invites_.erase(channel_invites_.begin());
    return invite;
}

std::vector<ChannelInvite> TestPeer::take_channel_invites()
{
    return std::exchange(channel_invites_, {});
}

std::optional<std::uint32_t> TestPeer::accept_channel_invite(const ChannelInvite &invite, std::string_view password)
{
    const std::string_view name = default_peer_name_for_channels;
    Tox_Err_Group_Invite_Accept error = TOX_ERR_GROUP_INVITE_ACCEPT_OK;
    const std::uint32_t channel = tox_group_invite_accept(
        tox_, invite.friend_number, reinterpret_cast<const std::uint8_t *>(invite.data.data()), invite.data.size(),
        reinterpret_cast<const std::uint8_t *>(name.data()), name.size(),
        reinterpret_cast<const std::uint8_t *>(password.data()), password.size(), &error);
    if (error != TOX_ERR_GROUP_INVITE_ACCEPT_OK) {
        std::fprintf(stderr, "e2e: tox_group_invite_accept failed with error %d\n", static_cast<int>(error));
        return std::nullopt;
    }
    forget_channel_outcomes(channel);
    return channel;
}

std::optional<std::uint32_t> TestPeer::join_channel(const std::string &chat_id, std::string_view password)
{
    std::uint8_t id[TOX_GROUP_CHAT_ID_SIZE];
    if (chat_id.size() != 2 * sizeof id || !test::from_hex(chat_id, id, sizeof id)) {
        std::fprintf(stderr, "e2e: \"%s\" is no chat ID\n", chat_id.c_str());
        return std::nullopt;
    }
    const std::string_view name = default_peer_name_for_channels;
    Tox_Err_Group_Join error = TOX_ERR_GROUP_JOIN_OK;
    const std::uint32_t channel = tox_group_join(
        tox_, id, reinterpret_cast<const std::uint8_t *>(name.data()), name.size(),
        reinterpret_cast<const std::uint8_t *>(password.data()), password.size(), &error);
    if (error != TOX_ERR_GROUP_JOIN_OK) {
        std::fprintf(stderr, "e2e: tox_group_join failed with error %d\n", static_cast<int>(error));
        return std::nullopt;
    }
    forget_channel_outcomes(channel);
    return channel;
}

std::optional<bool> TestPeer::channel_join_outcome(std::uint32_t channel,
                                                   std::optional<Tox_Group_Join_Fail> *failure) const
{
    if (std::find(channels_joined_.begin(), channels_joined_.end(), channel) != channels_joined_.end()) {
        return true;
    }
    for (const auto &[number, kind] : channel_join_failures_) {
        if (number == channel) {
            if (failure != nullptr) {
                *failure = kind;
            }
            return false;
        }
    }
    return std::nullopt;
}

bool TestPeer::wait_for_channel_join(std::uint32_t channel, std::chrono::milliseconds timeout,
                                     std::optional<Tox_Group_Join_Fail> *failure)
{
    iterate_until([&] { return channel_join_outcome(channel).has_value(); }, timeout);
    return channel_join_outcome(channel, failure).value_or(false);
}

std::string TestPeer::channel_topic(std::uint32_t channel) const
{
    std::string topic(tox_group_get_topic_size(tox_, channel, nullptr), '\0');
    tox_group_get_topic(tox_, channel, reinterpret_cast<std::uint8_t *>(topic.data()), nullptr);
    return topic;
}

std::string TestPeer::channel_password(std::uint32_t channel) const
{
    std::string password(tox_group_get_password_size(tox_, channel, nullptr), '\0');
    tox_group_get_password(tox_, channel, reinterpret_cast<std::uint8_t *>(password.data()), nullptr);
    return password;
}

std::optional<ChannelMessage> TestPeer::wait_for_channel_message(std::chrono::milliseconds timeout)
{
    if (!iterate_until([this] { return !channel_messages_.empty(); }, timeout)) {
        return std::nullopt;
    }
    ChannelMessage message = channel_messages_.front();
    channel_messages_.erase(channel_messages_.begin());
    return message;
}

#endif

}  // namespace zorvik::e2e
