#include <csignal>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <gtest/gtest.h>
#include "bot_process.hpp"
#include "test_peer.hpp"
using namespace zorvik::e2e;
static unsigned long long last_online(const std::string &path)
{
    std::ifstream f(path, std::ios::binary);
    std::string s((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    Tox_Options *o = tox_options_new(nullptr);
    tox_options_set_savedata_type(o, TOX_SAVEDATA_TYPE_TOX_SAVE);
    tox_options_set_savedata_data(o, (const uint8_t *)s.data(), s.size());
    Tox *t = tox_new(o, nullptr);
    tox_options_free(o);
    unsigned long long r = tox_self_get_friend_list_size(t) ? tox_friend_get_last_online(t, 0, nullptr) : 1;
    tox_kill(t);
    return r;
}
TEST(Exp, LastOnline)
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
    fprintf(stderr, "connected at %ld now %ld\n", ms(), (long)time(nullptr));
    for (int i = 0; i < 60; ++i) {
        std::string n = "x" + std::to_string(i);
        size_t mark = bot.stdout_mark();
        peer.send("name " + n);
        bot.wait_for_stdout("set name to " + n, 10s, mark);
        fprintf(stderr, "%ld ms: last_online %llu now %ld\n", ms(), last_online(folder.file("zorvik_save")), (long)time(nullptr));
        peer.iterate_for(500ms);
    }
}
