// bench_client: measures real Tox peers from the outside with one client
// Tox instance and the same code for every target.
//
//   bench_client compare   starts the bot (zorvik, in a scratch folder) and
//                          the echo peer one after the other and measures
//                          each: round trip of sequential "id" commands,
//                          time for bursts of "id" commands sent back to
//                          back (the median of several), resident memory,
//                          and CPU time while idle.
//   bench_client scale --save FILE
//                          starts the bot on a copy of FILE several times
//                          (time to the banner), then once more to measure
//                          memory, "group text" round trips, the time to
//                          answer "info" with many conferences, and idle
//                          CPU time. --echo-baseline measures the echo
//                          peer on the same save as well.
//   bench_client crowd --kind never|gone|online
//                          a crowd of strangers befriends the target, in
//                          batches up to each of --steps: "never" starts the
//                          target on a save whose friends never come online,
//                          "gone" strangers connect once and end, "online"
//                          ones stay. At every step: the target's resident
//                          memory, idle CPU, "id" round trips and (for the
//                          bot) the friends in its save.
//   bench_client channels  (built only where the library has channels,
//                          libtoxcore 0.2.19 on) the client, a master of the
//                          bot, founds channels in steps up to each of
//                          --steps: at every step the bot's resident memory,
//                          idle CPU and the round trips of "channel" and
//                          "info" (founding stops at the bot's cap). Then
//                          the bot is stopped and started again on the
//                          same folder (it loads its channels), and
//                          member instances inside the client join the first
//                          channel (a public one) by its chat ID, up to each
//                          of --members: the bot's memory and idle CPU again;
//                          with --messages N, once more after N rounds of
//                          messages in that channel from every member and
//                          from the bot ("gmessage").
//
// Targets run one at a time, so they never compete with each other for the
// two cores. The client iterates its own instance every --client-sleep-us
// microseconds (1 ms by default, faster than the 50 ms the library asks for
// when idle), so the times measured are dominated by the target, not by the
// client. Creates Tox instances and starts the bot: run it inside
// scripts/netns-run.
#include <algorithm>
#include <cerrno>
#include <ctime>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <tox/tox.h>

#if ZORVIK_CHANNELS
#include <malloc.h>
#endif

#include "support/bench_support.hpp"

#ifndef ZORVIK_BINARY
#define ZORVIK_BINARY "zorvik"
#endif
#ifndef ECHO_PEER_BINARY
#define ECHO_PEER_BINARY "bench_echo_peer"
#endif

namespace {

using bench::Clock;

struct Options {
    std::string mode;
    std::string bot = ZORVIK_BINARY;
    std::string echo = ECHO_PEER_BINARY;
    std::vector<std::string> order = {"bot", "echo"};
    int rtt_count = 200;
    int rtt_gap_ms = 0;  // random pause of up to this long before each round trip
    int burst_count = 500;
    int bursts = 9;  // repeated bursts; the median counts
    int warmup = 5;
    int idle_seconds = 10;
    int client_sleep_us = 1000;
    int connect_timeout_s = 90;
    int reply_timeout_s = 60;
    // scale mode
    std::string save;
    int groups = 100;
    int starts = 5;
    int info_repeats = 5;
    bool keep_scratch = false;
    // crowd mode
    std::string kind = "gone";  // never, gone or online
    std::vector<int> steps = {100, 500, 1000};
    bool steps_given = false;
    int batch = 60;
    int settle_seconds = 10;
    bool burst_arrivals = false;  // compare: print when the burst's replies came
    bool echo_baseline = false;  // scale: measure the echo peer on the same save too
    // channels mode
    std::vector<int> members = {0, 25, 50, 100};
    std::string channel_kind = "public";  // of every channel but the first, which is public
    bool restart = true;  // stop the bot after founding and start it again on its folder
    int member_every_us = 10000;  // the members are iterated this often, not at every client step
    int messages = 0;  // then rounds of channel messages: one from every member and one "gmessage" each
};

struct Received {
    Clock::time_point at;
    std::string text;
};

// The client side: one Tox instance, an inbox per friend, and the target
// whose output pipe must be kept drained while the client waits.
class Client {
public:
    explicit Client(int sleep_us) : sleep_us_(sleep_us)
    {
        tox_ = bench::new_tox({});
        if (tox_ == nullptr) {
            std::exit(1);
        }
        tox_callback_friend_message(tox_, on_message);
    }
    ~Client() { tox_kill(tox_); }
    Client(const Client &) = delete;
    Client &operator=(const Client &) = delete;

    void watch(bench::Child *child) { child_ = child; }

    // Instances iterated together with the client's own (the crowd of
    // strangers that must stay online while the client waits): at every
    // step, or at the first step after `every_us` microseconds have passed
    // since their last iteration.
    void carry(const std::vector<Tox *> *crowd, int every_us = 0)
    {
        crowd_ = crowd;
        crowd_every_ = std::chrono::microseconds(every_us);
    }

    Tox *tox() const { return tox_; }

    // One iteration of the library, then the pause, then the target's pipe.
    void step()
    {
        if (crowd_ != nullptr && Clock::now() - crowd_last_ >= crowd_every_) {
            for (Tox *member : *crowd_) {
                tox_iterate(member, nullptr);
            }
            crowd_last_ = Clock::now();
        }
        tox_iterate(tox_, this);
        usleep(static_cast<useconds_t>(sleep_us_));
        if (child_ != nullptr) {
            child_->read_lines();
        }
    }

    void run_for(double seconds)
    {
        const auto until = Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
        while (Clock::now() < until) {
            step();
        }
    }

    // Sends a friend request to a 76-digit Tox ID; returns the friend number.
    std::optional<std::uint32_t> add(const std::string &id_hex)
    {
        std::uint8_t address[TOX_ADDRESS_SIZE];
        if (!bench::from_hex(id_hex, address, sizeof address)) {
            return std::nullopt;
        }
        static const char greeting[] = "bench";
        Tox_Err_Friend_Add error = TOX_ERR_FRIEND_ADD_OK;
        const std::uint32_t number = tox_friend_add(tox_, address, reinterpret_cast<const std::uint8_t *>(greeting),
                                                    sizeof greeting - 1, &error);
        if (error != TOX_ERR_FRIEND_ADD_OK) {
            std::fprintf(stderr, "tox_friend_add failed (error %d)\n", static_cast<int>(error));
            return std::nullopt;
        }
        return number;
    }

    void remove(std::uint32_t friend_number)
    {
        tox_friend_delete(tox_, friend_number, nullptr);
        inbox_.clear();
    }

    bool wait_connected(std::uint32_t friend_number, int timeout_s)
    {
        const auto deadline = Clock::now() + std::chrono::seconds(timeout_s);
        while (Clock::now() < deadline) {
            if (tox_friend_get_connection_status(tox_, friend_number, nullptr) != TOX_CONNECTION_NONE) {
                return true;
            }
            step();
        }
        return false;
    }

    Tox_Connection connection(std::uint32_t friend_number) const
    {
        return tox_friend_get_connection_status(tox_, friend_number, nullptr);
    }

    // Queues one message; false only for an error other than a full send
    // queue (*queue_full tells that case apart).
    bool send(std::uint32_t friend_number, const std::string &text, bool *queue_full)
    {
        Tox_Err_Friend_Send_Message error = TOX_ERR_FRIEND_SEND_MESSAGE_OK;
        tox_friend_send_message(tox_, friend_number, TOX_MESSAGE_TYPE_NORMAL,
                                reinterpret_cast<const std::uint8_t *>(text.data()), text.size(), &error);
        *queue_full = error == TOX_ERR_FRIEND_SEND_MESSAGE_SENDQ;
        if (error != TOX_ERR_FRIEND_SEND_MESSAGE_OK && !*queue_full) {
            std::fprintf(stderr, "tox_friend_send_message failed (error %d)\n", static_cast<int>(error));
            return false;
        }
        return !*queue_full;
    }

    // Sends `text` and waits for `lines` messages from the friend. Returns
    // the messages (the last one's time ends the round trip), or nothing at
    // the time-out. Messages that were already in the inbox are dropped.
    std::optional<std::vector<Received>> exchange(std::uint32_t friend_number, const std::string &text,
                                                  std::size_t lines, int timeout_s, Clock::time_point *sent_at)
    {
        inbox_.clear();
        const auto deadline = Clock::now() + std::chrono::seconds(timeout_s);
        bool queue_full = false;
        *sent_at = Clock::now();
        while (!send(friend_number, text, &queue_full)) {
            if (!queue_full || Clock::now() >= deadline) {
                return std::nullopt;
            }
            step();
            *sent_at = Clock::now();
        }
        while (inbox_.size() < lines) {
            if (Clock::now() >= deadline) {
                std::fprintf(stderr, "time-out: %zu of %zu replies to \"%s\"\n", inbox_.size(), lines, text.c_str());
                return std::nullopt;
            }
            step();
        }
        std::vector<Received> replies(inbox_.begin(), inbox_.end());
        inbox_.clear();
        return replies;
    }

    // Sends `count` copies of `text` as fast as the send queue takes them
    // (a full queue is retried after an iteration) and waits for `count`
    // replies. Returns the milliseconds from the first send to the last
    // reply, or -1 at the time-out.
    double burst(std::uint32_t friend_number, const std::string &text, int count, int timeout_s,
                 int *queue_full_retries, std::size_t *reply_length_mismatches, std::size_t expected_length)
    {
        inbox_.clear();
        const auto deadline = Clock::now() + std::chrono::seconds(timeout_s);
        const auto start = Clock::now();
        int sent = 0;
        *queue_full_retries = 0;
        while (inbox_.size() < static_cast<std::size_t>(count)) {
            while (sent < count) {
                bool queue_full = false;
                if (send(friend_number, text, &queue_full)) {
                    ++sent;
                } else if (queue_full) {
                    ++*queue_full_retries;
                    break;
                } else {
                    return -1;
                }
            }
            if (Clock::now() >= deadline) {
                std::fprintf(stderr, "time-out: %zu of %d burst replies\n", inbox_.size(), count);
                return -1;
            }
            step();
        }
        *reply_length_mismatches = 0;
        for (const Received &r : inbox_) {
            if (r.text.size() != expected_length) {
                ++*reply_length_mismatches;
            }
        }
        const double ms = bench::elapsed_ms(start, inbox_.back().at);
        if (print_arrivals) {
            // Replies per 5 ms after the first send: shows in how many of
            // the target's iterations the burst was answered.
            std::vector<int> buckets(static_cast<std::size_t>(ms / 5) + 1, 0);
            for (const Received &r : inbox_) {
                ++buckets[static_cast<std::size_t>(bench::elapsed_ms(start, r.at) / 5)];
            }
            std::printf("  burst replies per 5 ms:");
            for (std::size_t i = 0; i < buckets.size(); ++i) {
                if (buckets[i] != 0) {
                    std::printf(" [%zu ms] %d", 5 * i, buckets[i]);
                }
            }
            std::printf("\n");
        }
        inbox_.clear();
        return ms;
    }

    std::uint32_t current_friend = UINT32_MAX;
    bool print_arrivals = false;

private:
    static void on_message(Tox *, std::uint32_t friend_number, Tox_Message_Type, const std::uint8_t *message,
                           std::size_t length, void *user_data)
    {
        auto *self = static_cast<Client *>(user_data);
        if (friend_number != self->current_friend) {
            return;
        }
        self->inbox_.push_back(Received{Clock::now(), std::string(reinterpret_cast<const char *>(message), length)});
    }

    Tox *tox_ = nullptr;
    int sleep_us_;
    bench::Child *child_ = nullptr;
    const std::vector<Tox *> *crowd_ = nullptr;
    std::chrono::microseconds crowd_every_{0};
    Clock::time_point crowd_last_{};
    std::deque<Received> inbox_;
};

// CPU seconds spent between two readings; NaN (printed as "nan") when
// either reading failed.
double cpu_difference(double before, double after)
{
    if (before < 0 || after < 0) {
        std::fputs("warning: a CPU time reading from /proc failed\n", stderr);
        return std::nan("");
    }
    return after - before;
}

// A target's scratch folder. It is removed once the measurement has
// succeeded (unless --keep-scratch); after a failure it stays, with the
// target's stderr.log, and its path is printed.
class ScratchFolder {
public:
    ScratchFolder(const char *prefix, bool keep) : path(bench::make_scratch_dir(prefix)), keep_(keep) {}
    ~ScratchFolder()
    {
        if (!succeeded_) {
            std::fprintf(stderr, "kept for inspection: %s\n", path.c_str());
        } else if (!keep_) {
            bench::remove_tree(path);
        }
    }
    ScratchFolder(const ScratchFolder &) = delete;
    ScratchFolder &operator=(const ScratchFolder &) = delete;

    void succeeded() { succeeded_ = true; }

    const std::string path;

private:
    bool keep_;
    bool succeeded_ = false;
};

double to_mib(long kib)
{
    return static_cast<double>(kib) / 1024.0;
}

// ---------------------------------------------------------------- compare

struct TargetResult {
    std::string label;
    bool ok = false;
    double connect_s = 0;
    std::string link;  // UDP or TCP
    bench::Summary rtt{};
    bench::Summary burst{};   // milliseconds per burst, over the repeated bursts
    double burst_cpu_ms = 0;  // the target's CPU time per burst (median)
    int burst_retries = 0;    // over all bursts
    long rss_connected_kib = 0;
    long rss_loaded_kib = 0;
    long rss_idle_kib = 0;
    double idle_cpu_s = 0;
    double idle_run_ms = 0;  // the same window from /proc/<pid>/schedstat
    double load_before = 0;
    double load_after = 0;
};

// Starts one target, connects, measures, stops it.
// Each target gets a client instance of its own: a client that already
// knew an earlier target at the same address and port (the targets take
// the same first free port in turn) finds the next one only after long
// delays.
TargetResult measure_target(const Options &options, const std::string &label)
{
    Client client(options.client_sleep_us);
    client.print_arrivals = options.burst_arrivals;
    TargetResult result;
    result.label = label;
    result.load_before = bench::load_average_1min();

    ScratchFolder scratch(("zorvik-bench-" + label + "-").c_str(), options.keep_scratch);
    const std::string &folder = scratch.path;
    const std::string program = label == "bot" ? options.bot : options.echo;
    bench::Child child;
    if (!child.start(program, {}, folder, folder + "/stderr.log")) {
        std::fprintf(stderr, "%s: cannot start %s\n", label.c_str(), program.c_str());
        return result;
    }
    client.watch(&child);
    const std::string id_line = child.wait_for_line("ID: ", 30000);
    if (id_line.size() < 4 + 2 * TOX_ADDRESS_SIZE) {
        std::fprintf(stderr, "%s: no ID line from %s\n", label.c_str(), program.c_str());
        return result;
    }
    const std::optional<std::uint32_t> friend_number = client.add(id_line.substr(4));
    if (!friend_number) {
        return result;
    }
    client.current_friend = *friend_number;

    const auto connect_start = Clock::now();
    if (!client.wait_connected(*friend_number, options.connect_timeout_s)) {
        std::fprintf(stderr, "%s: no friend connection within %d s\n", label.c_str(), options.connect_timeout_s);
        client.remove(*friend_number);
        return result;
    }
    result.connect_s = bench::elapsed_ms(connect_start, Clock::now()) / 1000.0;
    // Let the new connection settle (a direct UDP path, the first pings).
    client.run_for(2.0);
    result.link = client.connection(*friend_number) == TOX_CONNECTION_UDP ? "UDP" : "TCP";
    result.rss_connected_kib = bench::resident_kib(child.pid());

    const std::string command = "id";
    constexpr std::size_t reply_length = 2 * TOX_ADDRESS_SIZE;  // 76
    Clock::time_point sent_at;
    for (int i = 0; i < options.warmup; ++i) {
        if (!client.exchange(*friend_number, command, 1, options.reply_timeout_s, &sent_at)) {
            client.remove(*friend_number);
            return result;
        }
    }

    std::vector<double> rtts;
    std::size_t wrong_length = 0;
    std::mt19937 gap_random(7);
    for (int i = 0; i < options.rtt_count; ++i) {
        if (options.rtt_gap_ms > 0) {
            // Arrive at a random point of the target's sleep instead of right
            // after its last iteration.
            std::uniform_real_distribution<double> gap(0.0, options.rtt_gap_ms / 1000.0);
            client.run_for(gap(gap_random));
        }
        const auto replies = client.exchange(*friend_number, command, 1, options.reply_timeout_s, &sent_at);
        if (!replies) {
            client.remove(*friend_number);
            return result;
        }
        if (replies->back().text.size() != reply_length) {
            ++wrong_length;
        }
        rtts.push_back(bench::elapsed_ms(sent_at, replies->back().at));
    }
    result.rtt = bench::summarize(rtts);

    // A burst is answered within a few of the target's iterations, so one
    // burst's time depends on where in the target's sleep it lands; the
    // median of several bursts, each after a random pause, does not.
    std::size_t burst_wrong = 0;
    std::vector<double> burst_ms;
    std::vector<double> burst_cpu_ms;
    for (int i = 0; i < options.bursts; ++i) {
        std::uniform_real_distribution<double> pause(0.5, 0.55);
        client.run_for(pause(gap_random));
        std::size_t wrong = 0;
        int retries = 0;
        const double cpu_before = bench::run_time_ms(child.pid());
        const double ms = client.burst(*friend_number, command, options.burst_count, options.reply_timeout_s,
                                       &retries, &wrong, reply_length);
        burst_cpu_ms.push_back(bench::run_time_ms(child.pid()) - cpu_before);
        if (ms < 0) {
            client.remove(*friend_number);
            return result;
        }
        burst_ms.push_back(ms);
        burst_wrong += wrong;
        result.burst_retries += retries;
    }
    result.burst = bench::summarize(burst_ms);
    result.burst_cpu_ms = bench::summarize(burst_cpu_ms).median;
    if (wrong_length + burst_wrong != 0) {
        std::fprintf(stderr, "%s: %zu replies were not %zu bytes long\n", label.c_str(), wrong_length + burst_wrong,
                     reply_length);
    }
    result.rss_loaded_kib = bench::resident_kib(child.pid());

    // Idle: the connection stays up, nothing is asked.
    client.run_for(1.0);
    const double cpu_before = bench::cpu_seconds(child.pid());
    const double run_before = bench::run_time_ms(child.pid());
    client.run_for(options.idle_seconds);
    result.idle_cpu_s = cpu_difference(cpu_before, bench::cpu_seconds(child.pid()));
    result.idle_run_ms = bench::run_time_ms(child.pid()) - run_before;
    result.rss_idle_kib = bench::resident_kib(child.pid());
    result.load_after = bench::load_average_1min();

    const int status = child.stop(10000);
    client.watch(nullptr);
    client.remove(*friend_number);
    client.current_friend = UINT32_MAX;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "%s: did not exit cleanly after SIGINT (wait status %d)\n", label.c_str(), status);
    }
    scratch.succeeded();
    result.ok = true;
    return result;
}

void print_ratio(const char *what, double bot, double echo, const char *target, bool met)
{
    std::printf("  %-34s %10.3f  %-26s %s\n", what, echo != 0 ? bot / echo : 0.0, target, met ? "met" : "MISSED");
}

int run_compare(const Options &options)
{
    std::printf("bench_client compare: %d sequential \"id\" round trips (random pause before each: up to %d ms), "
                "%d bursts of %d, %d s idle, client step %d us\n",
                options.rtt_count, options.rtt_gap_ms, options.bursts, options.burst_count, options.idle_seconds,
                options.client_sleep_us);
    std::printf("load average at start: %s\n", bench::load_average_text().c_str());
    std::vector<TargetResult> results;
    for (const std::string &label : options.order) {
        results.push_back(measure_target(options, label));
        if (!results.back().ok) {
            std::fprintf(stderr, "measuring %s failed\n", label.c_str());
            return 1;
        }
    }
    std::printf("load average at end:   %s\n\n", bench::load_average_text().c_str());

    std::printf("| target | link | connect s | rtt median ms | rtt p95 ms | rtt min..max ms | %d x id ms (median, min..max of %d) | "
                "cmds/s (median) | CPU ms per burst | sendq retries | RSS connected MiB | RSS after load MiB | RSS idle MiB | idle CPU s / %d s | "
                "idle run time ms | load 1m before/after |\n",
                options.burst_count, options.bursts, options.idle_seconds);
    std::printf("|---|---|---|---|---|---|---|---|---|---|---|---|---|---|---|---|\n");
    for (const TargetResult &r : results) {
        std::printf("| %s | %s | %.1f | %.2f | %.2f | %.2f..%.2f | %.1f (%.1f..%.1f) | %.0f | %.1f | %d | %.2f | %.2f | %.2f | "
                    "%.2f | %.1f | %.2f / %.2f |\n",
                    r.label.c_str(), r.link.c_str(), r.connect_s, r.rtt.median, r.rtt.p95, r.rtt.min, r.rtt.max,
                    r.burst.median, r.burst.min, r.burst.max, options.burst_count / (r.burst.median / 1000.0),
                    r.burst_cpu_ms,
                    r.burst_retries,
                    to_mib(r.rss_connected_kib), to_mib(r.rss_loaded_kib), to_mib(r.rss_idle_kib), r.idle_cpu_s,
                    r.idle_run_ms, r.load_before, r.load_after);
    }

    const TargetResult *bot = nullptr;
    const TargetResult *echo = nullptr;
    for (const TargetResult &r : results) {
        (r.label == "bot" ? bot : echo) = &r;
    }
    if (bot != nullptr && echo != nullptr) {
        std::printf("\nbot against echo peer:\n");
        print_ratio("median round trip (bot/echo)", bot->rtt.median, echo->rtt.median, "<= 1.10",
                    bot->rtt.median <= 1.10 * echo->rtt.median);
        const double bot_rate = options.burst_count / bot->burst.median;
        const double echo_rate = options.burst_count / echo->burst.median;
        print_ratio("burst throughput (bot/echo)", bot_rate, echo_rate, ">= 0.90", bot_rate >= 0.90 * echo_rate);
        const double rss_diff = to_mib(bot->rss_loaded_kib) - to_mib(echo->rss_loaded_kib);
        std::printf("  %-34s %+10.2f  %-26s %s\n", "RSS after load, bot - echo (MiB)", rss_diff, "<= +2.00",
                    rss_diff <= 2.0 ? "met" : "MISSED");
        // CPU times are whole clock ticks; compare them as such.
        const double tick = 1.0 / static_cast<double>(sysconf(_SC_CLK_TCK));
        const long bot_ticks = std::lround(bot->idle_cpu_s / tick);
        const long echo_ticks = std::lround(echo->idle_cpu_s / tick);
        std::printf("  %-34s %+10.2f  %-26s %s\n", "idle CPU, bot - echo (s)", static_cast<double>(bot_ticks - echo_ticks) * tick,
                    "<= 0 (one tick: 0.01 s)", bot_ticks <= echo_ticks ? "met" : "MISSED");
        std::printf("  %-34s %+10.1f  %-26s %s\n", "idle run time, bot - echo (ms)",
                    bot->idle_run_ms - echo->idle_run_ms, "<= 0 (schedstat, ns)",
                    bot->idle_run_ms <= echo->idle_run_ms ? "met" : "MISSED");
    }
    return 0;
}

// ------------------------------------------------------------------ scale

bool copy_file(const std::string &from, const std::string &to)
{
    std::FILE *in = std::fopen(from.c_str(), "rb");
    if (in == nullptr) {
        return false;
    }
    std::vector<std::uint8_t> bytes;
    std::uint8_t buffer[65536];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, in)) > 0) {
        bytes.insert(bytes.end(), buffer, buffer + n);
    }
    std::fclose(in);
    return bench::write_file(to, bytes);
}

// Starts the bot, or the echo peer, on a fresh copy of the save in
// `folder`; returns the milliseconds from fork to the last line of the
// banner (the bot's fifth line, the echo peer's only one), or -1. With
// `bootstrap_ms`, the bot's standard error joins its output and
// *bootstrap_ms receives the milliseconds from fork to the last of the
// bootstrap pass's failure lines (inside the namespace every node fails),
// or NaN when they do not all come.
double start_on_save(const Options &options, bool bot, bench::Child &child, const std::string &folder,
                     std::string *id_hex, std::string *contacts_line, double *bootstrap_ms = nullptr)
{
    if (!copy_file(options.save, folder + "/zorvik_save")) {
        std::fprintf(stderr, "cannot copy %s\n", options.save.c_str());
        return -1;
    }
    const auto start = Clock::now();
    const std::string stderr_path = bootstrap_ms != nullptr ? "/dev/stdout" : folder + "/stderr.log";
    const bool started = bot ? child.start(options.bot, {}, folder, stderr_path)
                             : child.start(options.echo, {"zorvik_save"}, folder, stderr_path);
    if (!started) {
        return -1;
    }
    const std::string id_line = child.wait_for_line("ID: ", 60000);
    std::string last = id_line;
    if (bot) {
        *contacts_line = child.wait_for_line("Contacts: ", 60000);
        last = child.wait_for_line("Inactive contacts purged after", 60000);
    }
    const auto banner = Clock::now();
    if (id_line.size() < 4 + 2 * TOX_ADDRESS_SIZE || last.empty()) {
        std::fprintf(stderr, "no complete banner from %s\n", bot ? "the bot" : "the echo peer");
        return -1;
    }
    *id_hex = id_line.substr(4);
    if (bootstrap_ms != nullptr) {
        constexpr int table_nodes = 8;
        *bootstrap_ms = std::nan("");
        int failures = 0;
        while (failures < table_nodes && !child.wait_for_line("Failed to bootstrap DHT via: ", 5000).empty()) {
            ++failures;
        }
        if (failures == table_nodes) {
            *bootstrap_ms = bench::elapsed_ms(start, Clock::now());
        }
    }
    return bench::elapsed_ms(start, banner);
}

struct ScaleResult {
    bool ok = false;
    std::string contacts;
    bench::Summary startup{};
    bench::Summary bootstrap{};  // fork to the last bootstrap line, ms
    long rss_started_kib = 0;
    long rss_connected_kib = 0;
    long rss_groups_kib = 0;
    long rss_info_kib = 0;
    bench::Summary group_rtt{};
    bench::Summary info{};
    bench::Summary info_first{};
    std::size_t info_lines = 0;
    double idle_cpu_s = 0;
};

// Start-up several times, then one run with a friend connection; for the
// bot also the conferences and "info".
ScaleResult measure_scale(const Options &options, bool bot)
{
    ScaleResult result;
    std::vector<double> start_ms;
    std::vector<double> bootstrap_ms;
    std::string id_hex;
    for (int i = 0; i < options.starts; ++i) {
        ScratchFolder scratch("zorvik-bench-start-", options.keep_scratch);
        bench::Child child;
        double bootstrap = 0;
        const double ms =
            start_on_save(options, bot, child, scratch.path, &id_hex, &result.contacts, bot ? &bootstrap : nullptr);
        child.stop(30000);
        if (ms < 0) {
            return result;
        }
        scratch.succeeded();
        start_ms.push_back(ms);
        bootstrap_ms.push_back(bootstrap);
    }
    result.startup = bench::summarize(start_ms);
    result.bootstrap = bench::summarize(bootstrap_ms);

    ScratchFolder scratch("zorvik-bench-scale-", options.keep_scratch);
    const std::string &folder = scratch.path;
    Client client(options.client_sleep_us);
    bench::Child child;
    client.watch(&child);
    // The client is a master, so the bot creates all its conferences (a
    // plain friend may hold only a few).
    std::uint8_t client_address[TOX_ADDRESS_SIZE];
    tox_self_get_address(client.tox(), client_address);
    const std::string master_line = bench::to_hex(client_address, sizeof client_address) + "\n";
    if (!bench::write_file(folder + "/masterkeys", std::vector<std::uint8_t>(master_line.begin(), master_line.end()))) {
        return result;
    }
    if (start_on_save(options, bot, child, folder, &id_hex, &result.contacts) < 0) {
        return result;
    }
    // The bot's first maintenance pass runs right after the banner; give it
    // and the first iterations a moment before reading the memory.
    client.run_for(2.0);
    result.rss_started_kib = bench::resident_kib(child.pid());

    const std::optional<std::uint32_t> friend_number = client.add(id_hex);
    if (!friend_number) {
        return result;
    }
    client.current_friend = *friend_number;
    if (!client.wait_connected(*friend_number, options.connect_timeout_s)) {
        std::fprintf(stderr, "no friend connection within %d s\n", options.connect_timeout_s);
        return result;
    }
    client.run_for(2.0);
    result.rss_connected_kib = bench::resident_kib(child.pid());

    if (bot) {
        Clock::time_point sent_at;
        std::vector<double> group_ms;
        for (int i = 0; i < options.groups; ++i) {
            const auto replies = client.exchange(*friend_number, "group text", 1, options.reply_timeout_s, &sent_at);
            if (!replies || replies->back().text.rfind("Group chat ", 0) != 0) {
                std::fprintf(stderr, "\"group text\" number %d was not answered with \"Group chat ...\"\n", i + 1);
                return result;
            }
            group_ms.push_back(bench::elapsed_ms(sent_at, replies->back().at));
        }
        result.group_rtt = bench::summarize(group_ms);
        result.rss_groups_kib = bench::resident_kib(child.pid());

        // "info": three fixed lines, then one line per conference.
        result.info_lines = 3 + static_cast<std::size_t>(options.groups);
        std::vector<double> info_ms;
        std::vector<double> info_first_ms;
        for (int i = 0; i < options.info_repeats; ++i) {
            const auto replies =
                client.exchange(*friend_number, "info", result.info_lines, options.reply_timeout_s, &sent_at);
            if (!replies) {
                return result;
            }
            client.run_for(0.5);  // any line beyond the expected ones shows up here
            if (replies->size() != result.info_lines ||
                (options.groups > 0 && replies->back().text.rfind("Group ", 0) != 0)) {
                std::fprintf(stderr, "unexpected \"info\" answer: %zu lines, last \"%s\"\n", replies->size(),
                             replies->back().text.c_str());
                return result;
            }
            info_first_ms.push_back(bench::elapsed_ms(sent_at, replies->front().at));
            info_ms.push_back(bench::elapsed_ms(sent_at, replies->back().at));
        }
        result.info = bench::summarize(info_ms);
        result.info_first = bench::summarize(info_first_ms);
        result.rss_info_kib = bench::resident_kib(child.pid());
    }

    client.run_for(1.0);
    const double cpu_before = bench::cpu_seconds(child.pid());
    client.run_for(options.idle_seconds);
    result.idle_cpu_s = cpu_difference(cpu_before, bench::cpu_seconds(child.pid()));

    child.stop(30000);
    client.watch(nullptr);
    scratch.succeeded();
    result.ok = true;
    return result;
}

int run_scale(const Options &options)
{
    if (options.save.empty()) {
        std::fputs("bench_client scale: --save FILE is required\n", stderr);
        return 2;
    }
    std::printf("bench_client scale: save %s, %d starts, %d conferences, %d \"info\" answers, %d s idle\n",
                options.save.c_str(), options.starts, options.groups, options.info_repeats, options.idle_seconds);
    std::printf("load average at start: %s\n", bench::load_average_text().c_str());
    const ScaleResult bot = measure_scale(options, true);
    if (!bot.ok) {
        return 1;
    }
    ScaleResult echo;
    if (options.echo_baseline) {
        echo = measure_scale(options, false);
        if (!echo.ok) {
            return 1;
        }
    }
    std::printf("load average at end:   %s\n\n", bench::load_average_text().c_str());
    std::printf("%s\n", bot.contacts.c_str());
    std::printf("bot: start to the last bootstrap failure line, ms: median %.2f, min %.2f, max %.2f\n",
                bot.bootstrap.median, bot.bootstrap.min, bot.bootstrap.max);
    std::printf("| target | start to banner ms (median, min..max of %d) | RSS started MiB | RSS connected MiB | "
                "RSS +%d conferences MiB | RSS after info MiB | \"group text\" rtt median ms | \"info\" %zu lines: "
                "last line ms (median, min..max) | first line ms | idle CPU s / %d s |\n",
                options.starts, options.groups, bot.info_lines, options.idle_seconds);
    std::printf("|---|---|---|---|---|---|---|---|---|---|\n");
    std::printf("| bot | %.1f (%.1f..%.1f) | %.2f | %.2f | %.2f | %.2f | %.2f | %.1f (%.1f..%.1f) | %.1f | %.2f |\n",
                bot.startup.median, bot.startup.min, bot.startup.max, to_mib(bot.rss_started_kib),
                to_mib(bot.rss_connected_kib), to_mib(bot.rss_groups_kib), to_mib(bot.rss_info_kib),
                bot.group_rtt.median, bot.info.median, bot.info.min, bot.info.max, bot.info_first.median,
                bot.idle_cpu_s);
    if (options.echo_baseline) {
        std::printf("| echo | %.1f (%.1f..%.1f) | %.2f | %.2f | - | - | - | - | - | %.2f |\n", echo.startup.median,
                    echo.startup.min, echo.startup.max, to_mib(echo.rss_started_kib),
                    to_mib(echo.rss_connected_kib), echo.idle_cpu_s);
    }
    return 0;
}


// ------------------------------------------------------------------ crowd

// The number of friends in a save-data file, read by an instance that
// neither binds a UDP port nor knows a relay, so it sends nothing; -1 when
// the file cannot be read or loaded.
long friends_in_save(const std::string &path)
{
    const std::string bytes = zorvik::test::read_file(path);
    if (bytes.empty()) {
        return -1;
    }
    Tox_Options *options = tox_options_new(nullptr);
    tox_options_set_udp_enabled(options, false);
    tox_options_set_local_discovery_enabled(options, false);
    tox_options_set_savedata_type(options, TOX_SAVEDATA_TYPE_TOX_SAVE);
    tox_options_set_savedata_data(options, reinterpret_cast<const std::uint8_t *>(bytes.data()), bytes.size());
    Tox *tox = tox_new(options, nullptr);
    tox_options_free(options);
    if (tox == nullptr) {
        return -1;
    }
    const auto count = static_cast<long>(tox_self_get_friend_list_size(tox));
    tox_kill(tox);
    return count;
}

long file_kib(const std::string &path)
{
    struct stat st {};
    return stat(path.c_str(), &st) == 0 ? static_cast<long>(st.st_size / 1024) : -1;
}

// One stranger: a fresh identity on a port of its own (the library's default
// range holds only 100), with LAN discovery, that also bootstraps from the
// client's instance so it finds the target at once.
Tox *new_stranger(std::uint16_t port, const Tox *hub)
{
    Tox_Options *options = tox_options_new(nullptr);
    tox_options_set_start_port(options, port);
    tox_options_set_end_port(options, port);
    Tox *tox = tox_new(options, nullptr);
    tox_options_free(options);
    if (tox == nullptr) {
        return nullptr;
    }
    std::uint8_t hub_key[TOX_PUBLIC_KEY_SIZE];
    tox_self_get_dht_id(hub, hub_key);
    tox_bootstrap(tox, "127.0.0.1", tox_self_get_udp_port(hub, nullptr), hub_key, nullptr);
    return tox;
}

struct CrowdReading {
    int step = 0;
    int connected = 0;       // strangers whose friend connection came up
    int request_seconds = 0; // time the batches took
    long friends = -1;       // friends in the target's save (bot only)
    long save_kib = -1;
    long rss_kib = 0;
    long peak_kib = 0;
    double idle_cpu_percent = 0;
    bench::Summary rtt{};
};

long peak_kib(pid_t pid)
{
    std::FILE *status = std::fopen(("/proc/" + std::to_string(pid) + "/status").c_str(), "r");
    if (status == nullptr) {
        return -1;
    }
    char line[256];
    long kib = -1;
    while (std::fgets(line, sizeof line, status) != nullptr) {
        if (std::strncmp(line, "VmHWM:", 6) == 0) {
            kib = std::strtol(line + 6, nullptr, 10);
        }
    }
    std::fclose(status);
    return kib;
}

// Memory, idle CPU and "id" round trips of the target as it stands, after
// the crowd has settled for a while.
void read_target(const Options &options, Client &client, bench::Child &child, std::uint32_t friend_number,
                 CrowdReading *reading)
{
    client.run_for(options.settle_seconds);
    reading->rss_kib = bench::resident_kib(child.pid());
    reading->peak_kib = peak_kib(child.pid());
    const double cpu_before = bench::cpu_seconds(child.pid());
    client.run_for(options.idle_seconds);
    reading->idle_cpu_percent = 100.0 * cpu_difference(cpu_before, bench::cpu_seconds(child.pid())) /
                                options.idle_seconds;
    std::vector<double> rtts;
    Clock::time_point sent_at;
    for (int i = 0; i < 10; ++i) {
        const auto replies = client.exchange(friend_number, "id", 1, options.reply_timeout_s, &sent_at);
        if (replies) {
            rtts.push_back(bench::elapsed_ms(sent_at, replies->back().at));
        }
    }
    reading->rtt = bench::summarize(rtts);
}

// Starts the target in `folder` (on `save` when it is not empty) and
// connects the client to it; returns the client's friend number.
std::optional<std::uint32_t> start_and_connect(const Options &options, bool bot, Client &client, bench::Child &child,
                                               const std::string &folder, const std::string &save,
                                               std::string *id_hex)
{
    std::vector<std::string> args;
    if (!save.empty()) {
        if (!copy_file(save, folder + "/zorvik_save")) {
            return std::nullopt;
        }
        if (!bot) {
            args.push_back("zorvik_save");
        }
    }
    if (!child.start(bot ? options.bot : options.echo, args, folder, folder + "/stderr.log")) {
        return std::nullopt;
    }
    client.watch(&child);
    const std::string id_line = child.wait_for_line("ID: ", 60000);
    if (id_line.size() < 4 + 2 * TOX_ADDRESS_SIZE) {
        std::fprintf(stderr, "no ID line from the target\n");
        return std::nullopt;
    }
    *id_hex = id_line.substr(4);
    const std::optional<std::uint32_t> friend_number = client.add(*id_hex);
    if (!friend_number || !client.wait_connected(*friend_number, options.connect_timeout_s)) {
        std::fprintf(stderr, "the client did not connect to the target\n");
        return std::nullopt;
    }
    client.current_friend = *friend_number;
    return friend_number;
}

// "never": for each step a target started on a save with that many friends
// who never come online.
bool crowd_never(const Options &options, bool bot, std::vector<CrowdReading> *readings)
{
    for (const int step : options.steps) {
        ScratchFolder scratch("zorvik-bench-never-", options.keep_scratch);
        const std::vector<std::uint8_t> save = bench::make_save_with_friends(
            static_cast<std::size_t>(step), static_cast<std::uint64_t>(std::time(nullptr)), 1);
        const std::string save_path = scratch.path + "/source_save";
        if (save.empty() || !bench::write_file(save_path, save)) {
            return false;
        }
        Client client(options.client_sleep_us);
        bench::Child child;
        std::string id_hex;
        const auto friend_number = start_and_connect(options, bot, client, child, scratch.path, save_path, &id_hex);
        if (!friend_number) {
            return false;
        }
        CrowdReading reading;
        reading.step = step;
        read_target(options, client, child, *friend_number, &reading);
        child.stop(30000);
        client.watch(nullptr);
        if (bot) {
            reading.friends = friends_in_save(scratch.path + "/zorvik_save");
            reading.save_kib = file_kib(scratch.path + "/zorvik_save");
        }
        readings->push_back(reading);
        scratch.succeeded();
    }
    return true;
}

// "gone" and "online": one target; strangers arrive in batches, each sends
// a friend request and waits for its friend connection. "gone" strangers
// then end (their keys never come back); "online" ones stay and keep
// iterating. The target is read at every step.
bool crowd_arriving(const Options &options, bool bot, std::vector<CrowdReading> *readings)
{
    ScratchFolder scratch("zorvik-bench-crowd-", options.keep_scratch);
    Client client(options.client_sleep_us);
    bench::Child child;
    std::string id_hex;
    const auto friend_number = start_and_connect(options, bot, client, child, scratch.path, "", &id_hex);
    if (!friend_number) {
        return false;
    }
    std::uint8_t target[TOX_ADDRESS_SIZE];
    if (!bench::from_hex(id_hex, target, sizeof target)) {
        return false;
    }
    std::vector<Tox *> crowd;  // the strangers iterated now
    client.carry(&crowd);
    int arrived = 0;
    int connected = 0;
    const bool stay = options.kind == "online";
    const auto started = Clock::now();
    for (const int step : options.steps) {
        while (arrived < step) {
            const int count = std::min(options.batch, step - arrived);
            std::vector<Tox *> batch;
            for (int i = 0; i < count; ++i) {
                Tox *stranger = new_stranger(static_cast<std::uint16_t>(20000 + arrived + i), client.tox());
                if (stranger == nullptr) {
                    std::fprintf(stderr, "stranger %d: tox_new failed\n", arrived + i);
                    return false;
                }
                static const char hello[] = "hello";
                tox_friend_add(stranger, target, reinterpret_cast<const std::uint8_t *>(hello),
                               sizeof hello - 1, nullptr);
                batch.push_back(stranger);
                crowd.push_back(stranger);
            }
            arrived += count;
            const auto deadline = Clock::now() + std::chrono::seconds(options.connect_timeout_s);
            int up = 0;
            while (Clock::now() < deadline) {
                up = 0;
                for (Tox *stranger : batch) {
                    up += tox_friend_get_connection_status(stranger, 0, nullptr) != TOX_CONNECTION_NONE ? 1 : 0;
                }
                if (up == count) {
                    break;
                }
                client.step();
            }
            connected += up;
            std::fprintf(stderr, "%d strangers, %d connected\n", arrived, connected);
            if (!stay) {
                client.run_for(2.0);  // the target's save after the request
                for (Tox *stranger : batch) {
                    tox_kill(stranger);
                }
                crowd.resize(crowd.size() - batch.size());
            }
        }
        CrowdReading reading;
        reading.step = step;
        reading.connected = connected;
        reading.request_seconds = static_cast<int>(bench::elapsed_ms(started, Clock::now()) / 1000.0);
        read_target(options, client, child, *friend_number, &reading);
        if (bot) {
            reading.friends = friends_in_save(scratch.path + "/zorvik_save");
            reading.save_kib = file_kib(scratch.path + "/zorvik_save");
        }
        readings->push_back(reading);
    }
    child.stop(30000);
    client.watch(nullptr);
    client.carry(nullptr);
    for (Tox *stranger : crowd) {
        tox_kill(stranger);
    }
    scratch.succeeded();
    return true;
}

int run_crowd(const Options &options)
{
    if (options.kind != "never" && options.kind != "gone" && options.kind != "online") {
        std::fputs("bench_client crowd: --kind is never, gone or online\n", stderr);
        return 2;
    }
    // Every stranger holds a socket or more.
    rlimit files{};
    if (getrlimit(RLIMIT_NOFILE, &files) == 0) {
        files.rlim_cur = files.rlim_max;
        setrlimit(RLIMIT_NOFILE, &files);
    }
    std::printf("bench_client crowd: kind %s, batches of %d, %d s settle, %d s idle\n", options.kind.c_str(),
                options.batch, options.settle_seconds, options.idle_seconds);
    std::printf("| target | kind | strangers | connected | friends saved | save KiB | VmRSS MiB | VmHWM MiB | "
                "idle CPU %% | \"id\" rtt median ms (max) | s since start |\n");
    std::printf("|---|---|---|---|---|---|---|---|---|---|---|\n");
    for (const std::string &label : options.order) {
        const bool bot = label == "bot";
        std::vector<CrowdReading> readings;
        const bool ok = options.kind == "never" ? crowd_never(options, bot, &readings)
                                                : crowd_arriving(options, bot, &readings);
        for (const CrowdReading &r : readings) {
            std::printf("| %s | %s | %d | %d | %ld | %ld | %.1f | %.1f | %.1f | %.0f (%.0f) | %d |\n", label.c_str(),
                        options.kind.c_str(), r.step, r.connected, r.friends, r.save_kib, to_mib(r.rss_kib),
                        to_mib(r.peak_kib), r.idle_cpu_percent, r.rtt.median, r.rtt.max, r.request_seconds);
        }
        if (!ok) {
            std::fprintf(stderr, "measuring %s failed\n", label.c_str());
            return 1;
        }
    }
    return 0;
}

#if ZORVIK_CHANNELS
// --------------------------------------------------------------- channels

// Which member instances got into the channel and which the library turned
// away: it tells each member in a callback of the member's own instance,
// which the client iterates without user data.
struct MemberOutcomes {
    std::vector<const Tox *> joined;
    std::vector<const Tox *> refused;
    std::vector<int> refusals;  // the Tox_Group_Join_Fail of each refusal
};
MemberOutcomes member_outcomes;

void on_member_self_join(Tox *tox, std::uint32_t, void *)
{
    member_outcomes.joined.push_back(tox);
}

void on_member_join_fail(Tox *tox, std::uint32_t, Tox_Group_Join_Fail fail, void *)
{
    member_outcomes.refused.push_back(tox);
    member_outcomes.refusals.push_back(static_cast<int>(fail));
}

bool member_settled(const Tox *member)
{
    return std::find(member_outcomes.joined.begin(), member_outcomes.joined.end(), member) !=
               member_outcomes.joined.end() ||
           std::find(member_outcomes.refused.begin(), member_outcomes.refused.end(), member) !=
               member_outcomes.refused.end();
}

struct ChannelReading {
    std::string what;              // "found", "restart" or "members"
    int channels = 0;              // channels the bot holds
    int members = 0;               // member instances started
    int joined = 0;                // of them, in the channel
    int refused = 0;               // of them, turned away by the library
    int peers = -1;                // "peers:" on the first channel's "info" line (the bot counts itself)
    double start_ms = -1;          // restart: fork to the last banner line
    long save_kib = -1;
    long rss_kib = 0;
    long peak_kib = 0;
    double idle_cpu_percent = 0;   // utime + stime (clock ticks)
    double idle_run_percent = 0;   // schedstat (nanoseconds)
    double client_cpu_percent = 0; // the client's process, members included, in the same window
    long client_rss_kib = 0;
    bench::Summary channel_rtt{};  // the "channel" commands of this step
    bench::Summary info_rtt{};     // "info" to its last line
    bench::Summary id_rtt{};
};

// The bot as it stands after the settling time: memory, idle CPU (and the
// client's own over the same window), then "info" (four fixed lines here,
// as the bot holds no conferences, and one per channel) and "id" round
// trips. False when an "info" answer does not come whole.
bool read_channel_bot(const Options &options, Client &client, bench::Child &child, std::uint32_t friend_number,
                      const std::string &first_line, const std::string &folder, ChannelReading *reading)
{
    client.run_for(options.settle_seconds);
    reading->rss_kib = bench::resident_kib(child.pid());
    reading->peak_kib = peak_kib(child.pid());
    reading->client_rss_kib = bench::resident_kib(getpid());
    reading->save_kib = file_kib(folder + "/zorvik_save");
    const double cpu_before = bench::cpu_seconds(child.pid());
    const double run_before = bench::run_time_ms(child.pid());
    const double client_before = bench::cpu_seconds(getpid());
    client.run_for(options.idle_seconds);
    reading->idle_cpu_percent =
        100.0 * cpu_difference(cpu_before, bench::cpu_seconds(child.pid())) / options.idle_seconds;
    reading->idle_run_percent = (bench::run_time_ms(child.pid()) - run_before) / (10.0 * options.idle_seconds);
    reading->client_cpu_percent =
        100.0 * cpu_difference(client_before, bench::cpu_seconds(getpid())) / options.idle_seconds;

    const std::size_t lines = 4 + static_cast<std::size_t>(reading->channels);
    Clock::time_point sent_at;
    std::vector<double> info_ms;
    for (int i = 0; i < options.info_repeats; ++i) {
        const auto replies = client.exchange(friend_number, "info", lines, options.reply_timeout_s, &sent_at);
        if (!replies) {
            return false;
        }
        if (reading->channels > 0 && replies->back().text.rfind("Channel #", 0) != 0) {
            std::fprintf(stderr, "unexpected \"info\" answer: %zu lines, last \"%s\"\n", replies->size(),
                         replies->back().text.c_str());
            return false;
        }
        info_ms.push_back(bench::elapsed_ms(sent_at, replies->back().at));
        for (const Received &r : *replies) {
            const std::size_t at = r.text.find(" | peers: ");
            if (r.text.rfind(first_line, 0) == 0 && at != std::string::npos) {
                reading->peers = std::atoi(r.text.c_str() + at + 10);
            }
        }
        client.run_for(0.5);  // lines beyond the expected ones land here, not in the next answer
    }
    reading->info_rtt = bench::summarize(info_ms);
    std::vector<double> id_ms;
    for (int i = 0; i < 10; ++i) {
        const auto replies = client.exchange(friend_number, "id", 1, options.reply_timeout_s, &sent_at);
        if (replies) {
            id_ms.push_back(bench::elapsed_ms(sent_at, replies->back().at));
        }
    }
    reading->id_rtt = bench::summarize(id_ms);
    return true;
}

// Founds channels until the bot holds `target` of them, each with its own
// "channel" command; their round trips go to *rtts. The first one founded
// is public: its number and chat ID are kept for the members. At the bot's
// cap ("Channel limit reached ...") it stops and sets *capped. False when
// an answer is anything else but "Channel #N created ...".
bool found_channels(const Options &options, Client &client, std::uint32_t friend_number, int target, int *held,
                    unsigned *first_number, std::string *chat_id, std::vector<double> *rtts, bool *capped)
{
    while (*held < target && !*capped) {
        const bool is_public = *held == 0 || options.channel_kind == "public";
        const std::string command =
            std::string("channel ") + (is_public ? "public" : "private") + " \"bench " + std::to_string(*held) + "\"";
        Clock::time_point sent_at;
        const auto replies = client.exchange(friend_number, command, 1, options.reply_timeout_s, &sent_at);
        unsigned number = 0;
        if (replies && replies->front().text.rfind("Channel limit reached", 0) == 0) {
            std::printf("channel %d refused: %s\n", *held + 1, replies->front().text.c_str());
            *capped = true;
            break;
        }
        if (!replies || std::sscanf(replies->front().text.c_str(), "Channel #%u created", &number) != 1) {
            std::fprintf(stderr, "\"%s\" was answered with \"%s\"\n", command.c_str(),
                         replies ? replies->front().text.c_str() : "(nothing)");
            return false;
        }
        rtts->push_back(bench::elapsed_ms(sent_at, replies->front().at));
        if (*held == 0) {
            const std::string &text = replies->front().text;
            const std::size_t at = text.find("Chat ID: ");
            if (at == std::string::npos || text.size() < at + 9 + 2 * TOX_GROUP_CHAT_ID_SIZE) {
                std::fprintf(stderr, "no chat ID in \"%s\"\n", text.c_str());
                return false;
            }
            *chat_id = text.substr(at + 9, 2 * TOX_GROUP_CHAT_ID_SIZE);
            *first_number = number;
        }
        ++*held;
    }
    return true;
}

// Starts members until there are `target` of them, in batches: each is a
// stranger to the bot (see new_stranger) that joins the channel by its chat
// ID; a batch is done when each of its members is in or turned away, or at
// the time-out.
bool join_members(const Options &options, Client &client, const std::uint8_t *chat_id, int target,
                  std::vector<Tox *> *members, std::vector<std::uint32_t> *numbers)
{
    while (static_cast<int>(members->size()) < target) {
        const int count = std::min(options.batch, target - static_cast<int>(members->size()));
        std::vector<Tox *> batch;
        for (int i = 0; i < count; ++i) {
            const std::size_t index = members->size();
            Tox *member = new_stranger(static_cast<std::uint16_t>(20000 + index), client.tox());
            if (member == nullptr) {
                std::fprintf(stderr, "member %zu: tox_new failed\n", index);
                return false;
            }
            tox_callback_group_self_join(member, on_member_self_join);
            tox_callback_group_join_fail(member, on_member_join_fail);
            members->push_back(member);
            batch.push_back(member);
            const std::string name = "member " + std::to_string(index);
            Tox_Err_Group_Join error = TOX_ERR_GROUP_JOIN_OK;
            numbers->push_back(tox_group_join(member, chat_id, reinterpret_cast<const std::uint8_t *>(name.data()),
                                              name.size(), nullptr, 0, &error));
            if (error != TOX_ERR_GROUP_JOIN_OK) {
                std::fprintf(stderr, "member %zu: tox_group_join failed (error %d)\n", index,
                             static_cast<int>(error));
                return false;
            }
        }
        const auto deadline = Clock::now() + std::chrono::seconds(options.connect_timeout_s);
        while (Clock::now() < deadline &&
               !std::all_of(batch.begin(), batch.end(), [](const Tox *member) { return member_settled(member); })) {
            client.step();
        }
        std::fprintf(stderr, "%zu members: %zu in, %zu turned away\n", members->size(),
                     member_outcomes.joined.size(), member_outcomes.refused.size());
    }
    return true;
}

// Rounds of traffic in the channel: every member that got in sends a
// message to the channel, then the client has the bot send one with
// "gmessage" and waits for its answer. False when "gmessage" fails.
bool send_channel_traffic(const Options &options, Client &client, std::uint32_t friend_number, unsigned channel,
                          const std::vector<Tox *> &members, const std::vector<std::uint32_t> &numbers)
{
    for (int round = 0; round < options.messages; ++round) {
        for (std::size_t i = 0; i < members.size(); ++i) {
            const std::string text = "member " + std::to_string(i) + " message " + std::to_string(round);
            tox_group_send_message(members[i], numbers[i], TOX_MESSAGE_TYPE_NORMAL,
                                   reinterpret_cast<const std::uint8_t *>(text.data()), text.size(), nullptr);
        }
        const std::string command =
            "gmessage #" + std::to_string(channel) + " \"bot message " + std::to_string(round) + "\"";
        Clock::time_point sent_at;
        const auto replies = client.exchange(friend_number, command, 1, options.reply_timeout_s, &sent_at);
        if (!replies || replies->front().text != "Message sent.") {
            std::fprintf(stderr, "\"%s\" was answered with \"%s\"\n", command.c_str(),
                         replies ? replies->front().text.c_str() : "(nothing)");
            return false;
        }
    }
    return true;
}

void print_channel_reading(const ChannelReading &r)
{
    char start[32] = "-";
    if (r.start_ms >= 0) {
        std::snprintf(start, sizeof start, "%.0f", r.start_ms);
    }
    char channel_rtt[64] = "-";
    if (r.channel_rtt.count != 0) {
        std::snprintf(channel_rtt, sizeof channel_rtt, "%.0f (%.0f)", r.channel_rtt.median, r.channel_rtt.max);
    }
    std::printf("| %s | %d | %d | %d | %d | %d | %s | %ld | %.1f | %.1f | %.1f | %.2f | %s | %.0f (%.0f) | %.0f | %.0f | "
                "%.0f |\n",
                r.what.c_str(), r.channels, r.members, r.joined, r.refused, r.peers, start, r.save_kib,
                to_mib(r.rss_kib), to_mib(r.peak_kib), r.idle_cpu_percent, r.idle_run_percent, channel_rtt,
                r.info_rtt.median, r.info_rtt.max, r.id_rtt.median, r.client_cpu_percent, to_mib(r.client_rss_kib));
}

// Appends the client's address to the bot's master list: only masters
// found channels.
bool add_master(const std::string &folder, const Client &client)
{
    std::uint8_t address[TOX_ADDRESS_SIZE];
    tox_self_get_address(client.tox(), address);
    std::string list = zorvik::test::read_file(folder + "/masterkeys");
    list += bench::to_hex(address, sizeof address) + "\n";
    return bench::write_file(folder + "/masterkeys", std::vector<std::uint8_t>(list.begin(), list.end()));
}

int run_channels(Options options)
{
    // The members' instances are the client's own memory, which is not
    // measured; this keeps the library's large per-connection buffers of a
    // hundred members in a channel from staying resident in the client.
    mallopt(M_MMAP_THRESHOLD, 128 * 1024);
    rlimit files{};
    if (getrlimit(RLIMIT_NOFILE, &files) == 0) {
        files.rlim_cur = files.rlim_max;
        setrlimit(RLIMIT_NOFILE, &files);
    }
    if (!options.steps_given) {
        options.steps = {1, 5, 10};
    }
    if (options.channel_kind != "public" && options.channel_kind != "private") {
        std::fputs("bench_client channels: --channel-kind is public or private\n", stderr);
        return 2;
    }
    std::printf("bench_client channels: bot %s; channels (the first public, the others %s) up to", options.bot.c_str(),
                options.channel_kind.c_str());
    for (const int step : options.steps) {
        std::printf(" %d", step);
    }
    std::printf("; %s; members in the first channel up to", options.restart ? "restart" : "no restart");
    for (const int step : options.members) {
        std::printf(" %d", step);
    }
    std::printf(" (batches of %d); %d rounds of messages; %d s settle, %d s idle\n", options.batch, options.messages,
                options.settle_seconds, options.idle_seconds);
    std::printf("load average at start: %s\n", bench::load_average_text().c_str());
    std::printf("| step | channels | members | in | turned away | peers (info) | start to banner ms | save KiB | "
                "VmRSS MiB | VmHWM MiB | idle CPU %% (ticks) | idle CPU %% (schedstat) | \"channel\" rtt median (max) "
                "ms | \"info\" last line median (max) ms | \"id\" rtt median ms | client CPU %% | client RSS MiB |\n");
    std::printf("|---|---|---|---|---|---|---|---|---|---|---|---|---|---|---|---|---|\n");

    ScratchFolder scratch("zorvik-bench-channels-", options.keep_scratch);
    const std::string &folder = scratch.path;
    // The restarted bot is a second child (a child is started only once)
    // and is met by a second client: in this network an identity that knew
    // the bot before its stop can take minutes to find it again, a new
    // friend about 10 s.
    auto client = std::make_unique<Client>(options.client_sleep_us);
    if (!add_master(folder, *client)) {
        return 1;
    }
    bench::Child first_run;
    bench::Child second_run;
    bench::Child *bot = &first_run;
    std::string id_hex;
    const auto first_friend = start_and_connect(options, true, *client, first_run, folder, "", &id_hex);
    if (!first_friend) {
        return 1;
    }
    std::uint32_t friend_number = *first_friend;

    int held = 0;
    unsigned first_number = 0;
    std::string chat_id;
    std::vector<int> founding = options.steps;
    founding.insert(founding.begin(), 0);
    bool capped = false;
    for (const int step : founding) {
        ChannelReading reading;
        reading.what = "found";
        std::vector<double> rtts;
        const int before = held;
        if (!found_channels(options, *client, friend_number, step, &held, &first_number, &chat_id, &rtts,
                            &capped)) {
            return 1;
        }
        if (capped && held == before && step != 0) {
            break;  // nothing new to read: the last reading was at the cap
        }
        reading.channels = held;
        reading.channel_rtt = bench::summarize(rtts);
        const std::string first_line = "Channel #" + std::to_string(first_number) + " |";
        if (!read_channel_bot(options, *client, *bot, friend_number, first_line, folder, &reading)) {
            return 1;
        }
        print_channel_reading(reading);
    }
    const std::string first_line = "Channel #" + std::to_string(first_number) + " |";

    if (options.restart) {
        // Stopped as the service manager stops it, then started on the same
        // folder: it loads its channels from the save.
        first_run.stop(30000);
        client = std::make_unique<Client>(options.client_sleep_us);
        if (!add_master(folder, *client)) {
            return 1;
        }
        ChannelReading reading;
        reading.what = "restart";
        reading.channels = held;
        const auto start = Clock::now();
        if (!second_run.start(options.bot, {}, folder, folder + "/stderr.log")) {
            return 1;
        }
        bot = &second_run;
        client->watch(bot);
        const std::string id_line = second_run.wait_for_line("ID: ", 60000);
        if (second_run.wait_for_line("Inactive contacts purged after", 60000).empty() ||
            id_line.size() < 4 + 2 * TOX_ADDRESS_SIZE) {
            std::fputs("no complete banner from the restarted bot\n", stderr);
            return 1;
        }
        reading.start_ms = bench::elapsed_ms(start, Clock::now());
        const std::optional<std::uint32_t> second_friend = client->add(id_line.substr(4));
        if (!second_friend || !client->wait_connected(*second_friend, options.connect_timeout_s)) {
            std::fputs("the client did not connect to the restarted bot\n", stderr);
            return 1;
        }
        friend_number = *second_friend;
        client->current_friend = friend_number;
        if (!read_channel_bot(options, *client, *bot, friend_number, first_line, folder, &reading)) {
            return 1;
        }
        print_channel_reading(reading);
    }

    std::vector<Tox *> members;
    std::vector<std::uint32_t> member_channels;  // each member's number of the channel
    bool ok = true;
    if (!options.members.empty() && held == 0) {
        std::fputs("bench_client channels: members need a channel; --steps founds none\n", stderr);
        ok = false;
    }
    std::uint8_t chat_id_bytes[TOX_GROUP_CHAT_ID_SIZE] = {};
    if (ok && held > 0 && !bench::from_hex(chat_id, chat_id_bytes, sizeof chat_id_bytes)) {
        std::fprintf(stderr, "bad chat ID %s\n", chat_id.c_str());
        ok = false;
    }
    client->carry(&members, options.member_every_us);
    for (std::size_t i = 0; ok && i < options.members.size(); ++i) {
        ChannelReading reading;
        reading.what = "members";
        reading.channels = held;
        ok = join_members(options, *client, chat_id_bytes, options.members[i], &members, &member_channels);
        reading.members = static_cast<int>(members.size());
        reading.joined = static_cast<int>(member_outcomes.joined.size());
        reading.refused = static_cast<int>(member_outcomes.refused.size());
        ok = ok && read_channel_bot(options, *client, *bot, friend_number, first_line, folder, &reading);
        if (ok) {
            print_channel_reading(reading);
        }
    }
    if (ok && options.messages > 0) {
        ChannelReading reading;
        reading.what = "traffic";
        reading.channels = held;
        ok = send_channel_traffic(options, *client, friend_number, first_number, members, member_channels);
        reading.members = static_cast<int>(members.size());
        reading.joined = static_cast<int>(member_outcomes.joined.size());
        reading.refused = static_cast<int>(member_outcomes.refused.size());
        ok = ok && read_channel_bot(options, *client, *bot, friend_number, first_line, folder, &reading);
        if (ok) {
            print_channel_reading(reading);
        }
    }
    if (!member_outcomes.refusals.empty()) {
        std::printf("members turned away, Tox_Group_Join_Fail:");
        for (const int fail : member_outcomes.refusals) {
            std::printf(" %d", fail);
        }
        std::printf("\n");
    }
    std::printf("load average at end:   %s\n", bench::load_average_text().c_str());
    const int status = bot->stop(30000);
    client->watch(nullptr);
    client->carry(nullptr);
    for (Tox *member : members) {
        tox_kill(member);
    }
    if (!ok) {
        return 1;
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "the bot did not exit cleanly after SIGINT (wait status %d)\n", status);
    }
    scratch.succeeded();
    return 0;
}
#endif  // ZORVIK_CHANNELS

void usage()
{
    std::fputs("usage: bench_client compare [--bot PATH] [--echo PATH] [--order bot,echo|echo,bot]\n"
               "                            [--rtt N] [--rtt-gap-ms MS] [--burst N] [--bursts K] [--burst-arrivals] [--idle S] [--client-sleep-us U]\n"
               "       bench_client scale --save FILE [--bot PATH] [--groups N] [--starts N]\n"
               "                            [--info-repeats N] [--idle S] [--client-sleep-us U]\n"
               "                            [--echo-baseline] (the echo peer on the same save)\n"
               "       bench_client crowd [--kind never|gone|online] [--steps 100,500,1000] [--batch N]\n"
               "                            [--target bot|echo] [--settle S] [--idle S]\n"
               "                            (strangers who befriend the target; its memory and idle CPU at each step)\n"
#if ZORVIK_CHANNELS
               "       bench_client channels [--steps 1,5,10] [--members 0,25,50,100] [--batch N]\n"
               "                            [--channel-kind public|private] [--no-restart] [--member-every-us U]\n"
               "                            [--messages N] [--settle S] [--idle S] [--info-repeats N]\n"
               "                            (channels founded by a master, then members in one of them;\n"
               "                            --messages: then N rounds of messages in it, from each member and the bot)\n"
#else
               "       bench_client channels (not in this build: the library has no channels before 0.2.19)\n"
#endif
               "       [--keep-scratch] keeps the targets' folders (with their stderr.log)\n",
               stderr);
}

// A comma-separated list of rising numbers from `low` to `high`.
bool parse_rising(const char *text, long low, long high, std::vector<int> *values)
{
    values->clear();
    for (const char *p = text; *p != '\0';) {
        char *end = nullptr;
        const long value = std::strtol(p, &end, 10);
        if (end == p || value < low || value > high || (!values->empty() && value <= values->back()) ||
            (*end != ',' && *end != '\0')) {
            return false;
        }
        values->push_back(static_cast<int>(value));
        p = *end == ',' ? end + 1 : end;
    }
    return !values->empty();
}

bool parse_int(const char *text, int low, int high, int *value)
{
    char *end = nullptr;
    errno = 0;
    const long parsed = std::strtol(text, &end, 10);
    if (errno != 0 || end == text || *end != '\0' || parsed < low || parsed > high) {
        return false;
    }
    *value = static_cast<int>(parsed);
    return true;
}

}  // namespace

int main(int argc, char **argv)
{
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    bench::require_private_namespace("bench_client");
    if (argc < 2) {
        usage();
        return 2;
    }
    Options options;
    options.mode = argv[1];
    for (int i = 2; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool has_value = i + 1 < argc;
        auto int_option = [&](int low, int high, int *value) {
            if (!has_value || !parse_int(argv[++i], low, high, value)) {
                std::fprintf(stderr, "bench_client: %s needs a number from %d to %d\n", arg.c_str(), low, high);
                std::exit(2);
            }
        };
        if (arg == "--bot" && has_value) {
            options.bot = argv[++i];
        } else if (arg == "--echo" && has_value) {
            options.echo = argv[++i];
        } else if (arg == "--save" && has_value) {
            options.save = argv[++i];
        } else if (arg == "--order" && has_value) {
            const std::string order = argv[++i];
            if (order == "bot,echo") {
                options.order = {"bot", "echo"};
            } else if (order == "echo,bot") {
                options.order = {"echo", "bot"};
            } else {
                usage();
                return 2;
            }
        } else if (arg == "--rtt") {
            int_option(1, 100000, &options.rtt_count);
        } else if (arg == "--rtt-gap-ms") {
            int_option(0, 10000, &options.rtt_gap_ms);
        } else if (arg == "--burst") {
            int_option(1, 100000, &options.burst_count);
        } else if (arg == "--bursts") {
            int_option(1, 1000, &options.bursts);
        } else if (arg == "--idle") {
            int_option(1, 3600, &options.idle_seconds);
        } else if (arg == "--warmup") {
            int_option(0, 1000, &options.warmup);
        } else if (arg == "--client-sleep-us") {
            int_option(0, 1000000, &options.client_sleep_us);
        } else if (arg == "--groups") {
            int_option(0, 10000, &options.groups);
        } else if (arg == "--starts") {
            int_option(1, 1000, &options.starts);
        } else if (arg == "--info-repeats") {
            int_option(1, 1000, &options.info_repeats);
        } else if (arg == "--burst-arrivals") {
            options.burst_arrivals = true;
        } else if (arg == "--echo-baseline") {
            options.echo_baseline = true;
        } else if (arg == "--kind" && has_value) {
            options.kind = argv[++i];
        } else if (arg == "--steps" && has_value) {
            if (!parse_rising(argv[++i], 1, 40000, &options.steps)) {
                std::fputs("bench_client: --steps needs rising numbers from 1 to 40000, comma-separated\n", stderr);
                return 2;
            }
            options.steps_given = true;
        } else if (arg == "--members" && has_value) {
            if (!parse_rising(argv[++i], 0, 1000, &options.members)) {
                std::fputs("bench_client: --members needs rising numbers from 0 to 1000, comma-separated\n", stderr);
                return 2;
            }
        } else if (arg == "--channel-kind" && has_value) {
            options.channel_kind = argv[++i];
        } else if (arg == "--no-restart") {
            options.restart = false;
        } else if (arg == "--messages") {
            int_option(0, 100000, &options.messages);
        } else if (arg == "--member-every-us") {
            int_option(0, 1000000, &options.member_every_us);
        } else if (arg == "--batch") {
            int_option(1, 1000, &options.batch);
        } else if (arg == "--settle") {
            int_option(0, 3600, &options.settle_seconds);
        } else if (arg == "--target" && has_value) {
            const std::string target = argv[++i];
            if (target != "bot" && target != "echo") {
                usage();
                return 2;
            }
            options.order = {target};
        } else if (arg == "--keep-scratch") {
            options.keep_scratch = true;
        } else {
            usage();
            return 2;
        }
    }
    if (options.mode == "compare") {
        return run_compare(options);
    }
    if (options.mode == "scale") {
        return run_scale(options);
    }
    if (options.mode == "crowd") {
        return run_crowd(options);
    }
    if (options.mode == "channels") {
#if ZORVIK_CHANNELS
        return run_channels(options);
#else
        std::fputs("bench_client channels: this build has no channels (libtoxcore before 0.2.19)\n", stderr);
        return 2;
#endif
    }
    usage();
    return 2;
}
