#include "bot_process.hpp"

#include "support/private_netns.hpp"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <system_error>
#include <thread>

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

namespace zorvik::e2e {

namespace {

constexpr auto poll_step = 10ms;

int decode_wait_status(int status)
{
    if (WIFEXITED(status)) {
        return WEXITSTATUS(status);
    }
    if (WIFSIGNALED(status)) {
        return exit_status_signal_base + WTERMSIG(status);
    }
    return exit_status_timeout;
}

}  // namespace

// --- BotProcess --------------------------------------------------------------

BotProcess::BotProcess(std::filesystem::path working_directory, std::string binary)
    : directory_(std::move(working_directory)), binary_(std::move(binary))
{
}

BotProcess::~BotProcess()
{
    kill();
}

std::string BotProcess::default_binary()
{
    return ZORVIK_BINARY;
}

bool BotProcess::start(const std::vector<std::string> &extra_args)
{
    if (!zorvik::test::in_private_netns()) {
        std::fprintf(stderr, "e2e: refusing to start the bot outside scripts/netns-run\n");
        return false;
    }
    if (running()) {
        std::fprintf(stderr, "e2e: the bot is running already (pid %d)\n", static_cast<int>(pid_));
        return false;
    }
    close_pipes();
    exit_status_.reset();
    out_.text.clear();
    err_.text.clear();
    args_ = extra_args;

    int out_pipe[2];
    int err_pipe[2];
    if (pipe2(out_pipe, O_CLOEXEC) != 0) {
        std::fprintf(stderr, "e2e: pipe2 failed: %s\n", std::strerror(errno));
        return false;
    }
    if (pipe2(err_pipe, O_CLOEXEC) != 0) {
        std::fprintf(stderr, "e2e: pipe2 failed: %s\n", std::strerror(errno));
        close(out_pipe[0]);
        close(out_pipe[1]);
        return false;
    }

    // Everything the child needs is prepared before fork: after it only
    // async-signal-safe calls are made.
    std::vector<std::string> argv_text{binary_};
    argv_text.insert(argv_text.end(), extra_args.begin(), extra_args.end());
    std::vector<char *> argv;
    for (std::string &arg : argv_text) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);
    const std::string directory = directory_.string();

    const pid_t pid = fork();
    if (pid < 0) {
        std::fprintf(stderr, "e2e: fork failed: %s\n", std::strerror(errno));
        for (int fd : {out_pipe[0], out_pipe[1], err_pipe[0], err_pipe[1]}) {
            close(fd);
        }
        return false;
    }
    if (pid == 0) {
        // dup2 clears O_CLOEXEC on the copies, so only 1 and 2 stay open.
        if (chdir(directory.c_str()) != 0 || dup2(out_pipe[1], STDOUT_FILENO) < 0 ||
            dup2(err_pipe[1], STDERR_FILENO) < 0) {
            _exit(127);
        }
        const int null_fd = open("/dev/null", O_RDONLY);
        if (null_fd >= 0) {
            dup2(null_fd, STDIN_FILENO);
        }
        signal(SIGINT, SIG_DFL);
        // The bot gets only its three standard streams, not the test's
        // sockets (the test peer's UDP socket among them).
        close_range(3, ~0U, 0);
        execv(argv[0], argv.data());
        _exit(127);
    }

    close(out_pipe[1]);
    close(err_pipe[1]);
    out_.fd = out_pipe[0];
    err_.fd = err_pipe[0];
    fcntl(out_.fd, F_SETFL, fcntl(out_.fd, F_GETFL) | O_NONBLOCK);
    fcntl(err_.fd, F_SETFL, fcntl(err_.fd, F_GETFL) | O_NONBLOCK);
    pid_ = pid;
    return true;
}

bool BotProcess::running()
{
    poll_exit();
    return pid_ > 0;
}

// Reaps the process if it has ended; true when it has (now or before).
bool BotProcess::poll_exit()
{
    if (pid_ <= 0) {
        return true;
    }
    int status = 0;
    const pid_t done = waitpid(pid_, &status, WNOHANG);
    if (done == pid_) {
        pid_ = -1;
        exit_status_ = decode_wait_status(status);
        drain();
        return true;
    }
    return false;
}

int BotProcess::ended_status() const
{
    return exit_status_ ? *exit_status_ : exit_status_not_started;
}

int BotProcess::stop(std::chrono::milliseconds timeout)
{
    if (!running()) {
        return ended_status();
    }
    ::kill(pid_, SIGINT);
    const int status = reap(timeout);
    if (status == exit_status_timeout) {
        std::fprintf(stderr, "e2e: the bot did not stop within %lld ms of SIGINT; killing it\n",
                     static_cast<long long>(timeout.count()));
        kill();
    }
    return status;
}

int BotProcess::kill()
{
    if (!running()) {
        return ended_status();
    }
    ::kill(pid_, SIGKILL);
    return reap(30s);
}

int BotProcess::wait_for_exit(std::chrono::milliseconds timeout)
{
    if (!running()) {
        return ended_status();
    }
    return reap(timeout);
}

int BotProcess::restart(std::chrono::milliseconds timeout)
{
    const int status = stop(timeout);
    if (!start(args_)) {
        return exit_status_not_started;
    }
    return status;
}

// Waits for the child, reading its pipes meanwhile so that it can never block
// on a full pipe while exiting. Whatever it wrote last is read after the exit.
int BotProcess::reap(std::chrono::milliseconds timeout)
{
    const auto deadline = Clock::now() + timeout;
    for (;;) {
        drain();
        if (poll_exit()) {
            return ended_status();
        }
        if (Clock::now() >= deadline) {
            return exit_status_timeout;
        }
        pause_briefly();
    }
}

std::string BotProcess::tox_id(std::chrono::milliseconds timeout)
{
    const std::optional<std::string> line = wait_for_stdout("ID: ", timeout);
    if (!line || line->rfind("ID: ", 0) != 0) {
        return {};
    }
    return line->substr(4);
}

bool BotProcess::read_stream(Stream &stream)
{
    if (stream.fd < 0) {
        return false;
    }
    bool got = false;
    char chunk[4096];
    for (;;) {
        const ssize_t n = read(stream.fd, chunk, sizeof chunk);
        if (n > 0) {
            stream.text.append(chunk, static_cast<std::size_t>(n));
            got = true;
            continue;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n == 0) {  // the writer closed its end
            close(stream.fd);
            stream.fd = -1;
        }
        return got;
    }
}

void BotProcess::drain()
{
    read_stream(out_);
    read_stream(err_);
}

void BotProcess::close_pipes()
{
    for (Stream *stream : {&out_, &err_}) {
        if (stream->fd >= 0) {
            close(stream->fd);
            stream->fd = -1;
        }
    }
}

void BotProcess::pause_briefly()
{
    if (idle_hook_) {
        idle_hook_();
    }
    pollfd fds[2];
    nfds_t count = 0;
    for (const Stream *stream : {&out_, &err_}) {
        if (stream->fd >= 0) {
            fds[count++] = pollfd{stream->fd, POLLIN, 0};
        }
    }
    if (count == 0) {
        std::this_thread::sleep_for(poll_step);
        return;
    }
    poll(fds, count, static_cast<int>(poll_step.count()));
}

std::vector<std::string> BotProcess::stdout_lines()
{
    drain();
    return split_lines(out_.text);
}

std::vector<std::string> BotProcess::stderr_lines()
{
    drain();
    return split_lines(err_.text);
}

std::string BotProcess::stdout_text()
{
    drain();
    return out_.text;
}

std::string BotProcess::stderr_text()
{
    drain();
    return err_.text;
}

std::size_t BotProcess::stdout_mark()
{
    drain();
    return static_cast<std::size_t>(std::count(out_.text.begin(), out_.text.end(), '\n'));
}

std::size_t BotProcess::stderr_mark()
{
    drain();
    return static_cast<std::size_t>(std::count(err_.text.begin(), err_.text.end(), '\n'));
}

std::optional<std::string> BotProcess::wait_for_line(Stream &stream, std::string_view text,
                                                     std::chrono::milliseconds timeout, std::size_t from_line)
{
    const auto deadline = Clock::now() + timeout;
    for (;;) {
        drain();
        const std::vector<std::string> lines = split_lines(stream.text);
        for (std::size_t i = from_line; i < lines.size(); ++i) {
            if (lines[i].find(text) != std::string::npos) {
                return lines[i];
            }
        }
        if (Clock::now() >= deadline) {
            return std::nullopt;
        }
        // The pipe is at its end only when the process has exited: nothing
        // more can come.
        if (stream.fd < 0) {
            return std::nullopt;
        }
        pause_briefly();
    }
}

std::optional<std::string> BotProcess::wait_for_stdout(std::string_view text, std::chrono::milliseconds timeout,
                                                       std::size_t from_line)
{
    return wait_for_line(out_, text, timeout, from_line);
}

std::optional<std::string> BotProcess::wait_for_stderr(std::string_view text, std::chrono::milliseconds timeout,
                                                       std::size_t from_line)
{
    return wait_for_line(err_, text, timeout, from_line);
}

std::string BotProcess::describe_output()
{
    drain();
    return "--- bot stdout ---\n" + out_.text + "--- bot stderr ---\n" + err_.text + "--- end ---\n";
}

std::vector<std::string> split_lines(const std::string &text)
{
    std::vector<std::string> lines;
    std::size_t begin = 0;
    while (begin < text.size()) {
        const std::size_t end = text.find('\n', begin);
        if (end == std::string::npos) {
            lines.push_back(text.substr(begin));
            break;
        }
        lines.push_back(text.substr(begin, end - begin));
        begin = end + 1;
    }
    return lines;
}

}  // namespace zorvik::e2e
