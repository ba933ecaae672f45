#include <csignal>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <netinet/in.h>
#include <unistd.h>
static int hold_port(int port){ int fd = socket(AF_INET6, SOCK_DGRAM, 0); int off = 0; setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &off, sizeof off); sockaddr_in6 a{}; a.sin6_family = AF_INET6; a.sin6_port = htons(port); a.sin6_addr = in6addr_any; int r = bind(fd, (sockaddr*)&a, sizeof a); fprintf(stderr, "hold %d -> %d\n", port, r); return fd; }
#include "bot_process.hpp"
#include "test_peer.hpp"
using namespace zorvik::e2e;
static void dump(const std::string &path)
{
    std::ifstream f(path, std::ios::binary);
    std::string s((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    Tox_Options *o = tox_options_new(nullptr);
    tox_options_set_savedata_type(o, TOX_SAVEDATA_TYPE_TOX_SAVE);
    tox_options_set_savedata_data(o, (const uint8_t *)s.data(), s.size());
    Tox *t = tox_new(o, nullptr);
    tox_options_free(o);
    size_t n = tox_self_get_friend_list_size(t);
    fprintf(stderr, "save: %zu bytes, %zu friends", s.size(), n);
    for (uint32_t i = 0; i < n; ++i) fprintf(stderr, " last_online=%llu (now %ld)", (unsigned long long)tox_friend_get_last_online(t, i, nullptr), (long)time(nullptr));
    fprintf(stderr, "\n");
    tox_kill(t);
}
TEST(Exp, Reconnect)
{
    TempDir folder;
    BotProcess bot(folder.path());
    TestPeer peer("P");
    std::ofstream(folder.file("masterkeys")) << peer.tox_id() << "\n";
    bot.set_idle_hook([&] { peer.iterate_once(); });
    peer.set_idle_hook([&] { bot.drain(); });
    ASSERT_TRUE(bot.start());
    std::string id = bot.tox_id(15s);
    auto t0 = Clock::now();
    auto ms = [&] { return (long)std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t0).count(); };
    peer.add_bot(id);
    ASSERT_TRUE(peer.wait_until_connected(90s));
    fprintf(stderr, "connected at %ld\n", ms());
    dump(folder.file("zorvik_save"));
    peer.send("name abc");
    bot.wait_for_stdout("set name to abc", 10s);
    if (!getenv("EXP_FAST")) peer.iterate_for(1500ms);
    peer.send("name abcd");
    bot.wait_for_stdout("set name to abcd", 10s);
    dump(folder.file("zorvik_save"));
    for (int round = 0; round < 6; ++round) {
        bool sigkill = getenv("EXP_INT") == nullptr;
        if (getenv("EXP_PREBURST")) { auto end = Clock::now() + 300ms; int i = 0; while (Clock::now() < end) { for (int j = 0; j < 4; ++j) peer.send("name pre" + std::to_string(++i)); peer.iterate_once(); } fprintf(stderr, "pre-burst %d\n", i); }
        if (sigkill) bot.kill(); else bot.stop();
        fprintf(stderr, "killed at %ld (sigkill %d)\n", ms(), sigkill);
        if (getenv("EXP_BURST")) { for (int i = 0; i < 80; ++i) { peer.send("name burst" + std::to_string(i)); if (i % 4 == 0) peer.iterate_once(); } }
        if (getenv("EXP_NOREQ")) { uint8_t pk[32]; tox_friend_get_public_key(peer.tox(), *peer.bot_friend_number(), pk, nullptr); tox_friend_delete(peer.tox(), *peer.bot_friend_number(), nullptr); uint32_t n = tox_friend_add_norequest(peer.tox(), pk, nullptr); fprintf(stderr, "re-added norequest as %u\n", n); }
        if (getenv("EXP_READD")) { tox_friend_delete(peer.tox(), *peer.bot_friend_number(), nullptr); peer.add_bot(id); fprintf(stderr, "re-added as %u\n", *peer.bot_friend_number()); }
        dump(folder.file("zorvik_save"));
        if (getenv("EXP_WAIT")) { peer.iterate_until([&]{return !peer.connected();}, 60s); fprintf(stderr, "peer saw disconnect at %ld\n", ms()); }
        int held = -1; static int port = 33446;
        if (getenv("EXP_HOLD")) { held = hold_port(port); port = port == 33446 ? 33447 : 33446; }
        bot.start();
        bot.tox_id(15s);
        bot.wait_for_stdout("Inactive", 5s);
        if (held >= 0) close(held);
        fprintf(stderr, "restarted at %ld\n", ms());
        size_t changes = peer.connection_changes();
        auto last_send = Clock::now() - 10s;
        bool got = false;
        while (ms() < 200000 && !got) {
            if (peer.connection_changes() != changes) { changes = peer.connection_changes(); fprintf(stderr, "change -> connected=%d at %ld\n", peer.connected(), ms()); }
            if (peer.connected() && Clock::now() - last_send > 1s) { peer.send("id"); last_send = Clock::now(); }
            for (auto &r : peer.take_replies()) if (r == id) { got = true; fprintf(stderr, "reply at %ld\n", ms()); }
            peer.iterate_once();
        }
        fprintf(stderr, "%s", bot.describe_output().c_str());
    }
}
