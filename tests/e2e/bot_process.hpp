// The real zorvik binary as a child process: started in a folder of its own,
// its standard output and standard error read through two pipes, line by
// line, without ever blocking the test.
#pragma once

#include <chrono>
#include <cstddef>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <sys/types.h>

#include "support/files.hpp"

namespace zorvik::e2e {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

using test::TempDir;

// Exit codes returned by BotProcess::stop, kill and wait_for_exit when the
// process did not end with a plain exit status.
inline constexpr int exit_status_timeout = -1;      // still running at the deadline
inline constexpr int exit_status_not_started = -2;  // no process was running
// A process ended by signal s is reported as 128 + s, the shell's way.
inline constexpr int exit_status_signal_base = 128;

class BotProcess {
public:
    // The binary defaults to ZORVIK_BINARY of the test build.
    explicit BotProcess(std::filesystem::path working_directory, std::string binary = default_binary());
    // Kills a process that is still running.
    ~BotProcess();
    BotProcess(const BotProcess &) = delete;
    BotProcess &operator=(const BotProcess &) = delete;

    static std::string default_binary();

    // Starts the binary with the working directory as its current folder and
    // `extra_args` after its name. Output captured by an earlier run is
    // dropped. Returns false (and says why on the test's stderr) when the
    // process could not be started or one is running already.
    bool start(const std::vector<std::string> &extra_args = {});

    // SIGINT, then waits for the exit. Returns the exit status, or one of the
    // exit_status_* values; at the deadline the process is killed and
    // exit_status_timeout returned. A process that had ended already (a
    // crash) is not signalled: its recorded status is returned.
    int stop(std::chrono::milliseconds timeout = 30s);
    // SIGKILL and reap; returns 128 + 9 when it was still running, else as
    // stop() does.
    int kill();
    // Waits for a process that ends on its own (a start-up failure); its
    // recorded status when it has ended already.
    int wait_for_exit(std::chrono::milliseconds timeout = 30s);
    // stop() (its status is returned) followed by start() in the same folder
    // with the same arguments; exit_status_not_started when start() fails.
    int restart(std::chrono::milliseconds timeout = 30s);

    // True while the process has not ended; an ended process is reaped here
    // and its status recorded.
    bool running();
    // The status of the last run once it has ended.
    std::optional<int> exit_status() const { return exit_status_; }
    pid_t pid() const { return pid_; }
    const std::filesystem::path &working_directory() const { return directory_; }

    // The 76 hex digits of the banner line "ID: ...", waiting for the line
    // when it has not arrived yet; empty when it does not come in time.
    std::string tox_id(std::chrono::milliseconds timeout = 10s);

    // Reads whatever both pipes hold, without blocking.
    void drain();

    // Closes the test's read ends of both pipes, as a reader of the bot's
    // output that goes away (a closed terminal, a stopped journal): every
    // later write of the bot to either stream fails (EPIPE, and SIGPIPE
    // unless it ignores that). What was read before is kept; nothing more is
    // read until the next start().
    void close_pipes();

    // Every line seen so far on one stream, oldest first. A last line that
    // has no line end yet is included; a later read may still extend it.
    std::vector<std::string> stdout_lines();
    std::vector<std::string> stderr_lines();
    // The raw bytes seen so far on one stream.
    std::string stdout_text();
    std::string stderr_text();

    // Number of complete lines seen so far on a stream: pass it as
    // `from_line` to the waits below to look only at what comes afterwards.
    // A last line without its line end is not counted, so text that later
    // extends it is still looked at.
    std::size_t stdout_mark();
    std::size_t stderr_mark();

    // Waits until a line with index >= from_line contains `text`, and
    // returns that line; nullopt at the timeout or when the process ended
    // without writing it.
    std::optional<std::string> wait_for_stdout(std::string_view text, std::chrono::milliseconds timeout = 10s,
                                               std::size_t from_line = 0);
    std::optional<std::string> wait_for_stderr(std::string_view text, std::chrono::milliseconds timeout = 10s,
                                               std::size_t from_line = 0);

    // Called in every pass of every wait of this class, for instance to let a
    // test peer iterate while the test waits for the bot.
    void set_idle_hook(std::function<void()> hook) { idle_hook_ = std::move(hook); }

    // Both streams, labelled, for a failure message.
    std::string describe_output();

private:
    struct Stream {
        int fd = -1;
        std::string text;
    };

    bool read_stream(Stream &stream);
    std::optional<std::string> wait_for_line(Stream &stream, std::string_view text,
                                             std::chrono::milliseconds timeout, std::size_t from_line);
    int reap(std::chrono::milliseconds timeout);
    bool poll_exit();
    int ended_status() const;
    void pause_briefly();

    std::filesystem::path directory_;
    std::string binary_;
    std::vector<std::string> args_;
    pid_t pid_ = -1;
    std::optional<int> exit_status_;
    Stream out_;
    Stream err_;
    std::function<void()> idle_hook_;
};

// Splits `text` at line feeds; a last piece without one is kept, an empty
// last piece is not.
std::vector<std::string> split_lines(const std::string &text);

}  // namespace zorvik::e2e
