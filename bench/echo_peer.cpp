// bench_echo_peer: the smallest useful Tox peer, the baseline the bot is
// measured against. It accepts every friend request and answers every
// normal friend message with one fixed 76-byte text (as long as the bot's
// answer to "id"). Its loop is the bot's: iterate, then sleep for the
// interval the library asks for. Given a file name, it loads its identity
// and friends from that save-data file (it never writes it). Prints "ID: <76 hex digits>" on standard
// output once ready; SIGINT ends it. Creates a Tox instance: run it inside
// scripts/netns-run.
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <unistd.h>

#include <tox/tox.h>

namespace {

volatile std::sig_atomic_t stop_requested = 0;

void on_interrupt(int)
{
    stop_requested = 1;
}

constexpr char reply[] = "ECHO-0123456789ABCDEF0123456789ABCDEF0123456789ABCDEF0123456789ABCDEF0123456";
static_assert(sizeof reply - 1 == 76, "the reply is as long as a Tox ID in hexadecimal");

void on_friend_request(Tox *tox, const std::uint8_t *public_key, const std::uint8_t *, std::size_t, void *)
{
    tox_friend_add_norequest(tox, public_key, nullptr);
}

void on_friend_message(Tox *tox, std::uint32_t friend_number, Tox_Message_Type type, const std::uint8_t *,
                       std::size_t, void *)
{
    if (type != TOX_MESSAGE_TYPE_NORMAL) {
        return;
    }
    tox_friend_send_message(tox, friend_number, TOX_MESSAGE_TYPE_NORMAL, reinterpret_cast<const std::uint8_t *>(reply),
                            sizeof reply - 1, nullptr);
}

// Reads a whole save-data file into a block the caller frees; null on
// failure. Plain C allocation keeps the C++ runtime library out of the
// process, so its memory is the library's and the loop's alone.
std::uint8_t *read_save(const char *path, std::size_t *size)
{
    std::FILE *file = std::fopen(path, "rb");
    if (file == nullptr) {
        return nullptr;
    }
    std::size_t used = 0;
    std::size_t capacity = 65536;
    auto *bytes = static_cast<std::uint8_t *>(std::malloc(capacity));
    while (bytes != nullptr) {
        used += std::fread(bytes + used, 1, capacity - used, file);
        if (used < capacity) {
            break;
        }
        capacity *= 2;
        auto *grown = static_cast<std::uint8_t *>(std::realloc(bytes, capacity));
        if (grown == nullptr) {
            std::free(bytes);
        }
        bytes = grown;
    }
    std::fclose(file);
    if (bytes != nullptr && used == 0) {
        std::free(bytes);
        bytes = nullptr;
    }
    *size = used;
    return bytes;
}

}  // namespace

// True inside the private network namespace made by scripts/netns-run,
// which names it in ZORVIK_NETNS.
bool inside_private_namespace()
{
    char here[128];
    const ssize_t n = readlink("/proc/self/ns/net", here, sizeof here - 1);
    const char *marker = std::getenv("ZORVIK_NETNS");
    if (n <= 0 || marker == nullptr) {
        return false;
    }
    here[n] = '\0';
    return std::strcmp(here, marker) == 0;
}

int main(int argc, char **argv)
{
    if (!inside_private_namespace()) {
        std::fputs("bench_echo_peer creates a Tox instance: run it inside scripts/netns-run\n", stderr);
        return 2;
    }
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    std::signal(SIGINT, on_interrupt);

    Tox_Options *options = tox_options_new(nullptr);
    if (options == nullptr) {
        return 1;
    }
    std::uint8_t *save = nullptr;
    if (argc > 1) {
        std::size_t size = 0;
        save = read_save(argv[1], &size);
        if (save == nullptr) {
            std::fprintf(stderr, "cannot read save data from %s\n", argv[1]);
            return 1;
        }
        tox_options_set_savedata_type(options, TOX_SAVEDATA_TYPE_TOX_SAVE);
        tox_options_set_savedata_data(options, save, size);
    }
    Tox_Err_New error = TOX_ERR_NEW_OK;
    Tox *tox = tox_new(options, &error);
    tox_options_free(options);
    // The library keeps its own copy; the file's bytes are not held on to.
    std::free(save);
    if (tox == nullptr) {
        std::fprintf(stderr, "tox_new failed (error %d)\n", static_cast<int>(error));
        return 1;
    }
    tox_callback_friend_request(tox, on_friend_request);
    tox_callback_friend_message(tox, on_friend_message);

    std::uint8_t address[TOX_ADDRESS_SIZE];
    tox_self_get_address(tox, address);
    char id[2 * TOX_ADDRESS_SIZE + 1];
    for (std::size_t i = 0; i < TOX_ADDRESS_SIZE; ++i) {
        std::snprintf(id + 2 * i, sizeof id - 2 * i, "%02X", address[i]);
    }
    std::printf("ID: %s\n", id);

    while (stop_requested == 0) {
        tox_iterate(tox, nullptr);
        usleep(tox_iteration_interval(tox) * 1000);
    }
    tox_kill(tox);
    return 0;
}
