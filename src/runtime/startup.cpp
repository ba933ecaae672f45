#include "runtime/startup.hpp"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "base/log_text.hpp"
#include "base/memory.hpp"
#include "base/tox_id.hpp"
#include "bot_state.hpp"
#include "events/conference_events.hpp"
#include "events/friend_events.hpp"
#include "storage/save_data.hpp"
#include "storage/save_sections.hpp"
#include "version.hpp"

#if ZORVIK_CHANNELS
#include "events/channel_events.hpp"
#endif

namespace zorvik {

namespace {

constexpr const char default_status_message[] = "Send me the the command 'help' for more info";
constexpr const char default_name[] = "Zorvik";

// The library may hand back an instance together with an error (a save it
// could only partly load); it is released before the process ends.
[[noreturn]] void exit_with_tox_new_error(Tox *tox, Tox_Err_New error)
{
    if (tox != nullptr) {
        tox_kill(tox);
    }
    std::fprintf(stderr, "tox_new failed with error %d\n", static_cast<int>(error));
    std::exit(1);
}

[[noreturn]] void exit_unreadable_save(const char *reason)
{
    std::fprintf(stderr, "Error: cannot read %s: %s\n", save_path, reason);
    std::exit(1);
}

Tox_Options *new_default_options()
{
    Tox_Options *options = tox_options_new(nullptr);
    if (options == nullptr) {
        std::exit(1);
    }
    tox_options_default(options);
#if ZORVIK_CHANNELS
    // Without this the library neither saves channels nor loads them back.
    tox_options_set_experimental_groups_persistence(options, true);
#endif
    return options;
}

// Loads the identity from the open save file; ends the process on failure.
Tox *load_saved_identity(std::FILE *file)
{
    // One look at the open file: its type, then its size (an empty file
    // ends the start silently, as a file that cannot be looked at does).
    struct stat status {};
    const bool looked = fstat(fileno(file), &status) == 0;
    if (looked && !S_ISREG(status.st_mode)) {
        std::fclose(file);
        exit_unreadable_save(S_ISDIR(status.st_mode) ? std::strerror(EISDIR) : "not a regular file");
    }
    if (!looked || status.st_size == 0) {
        std::fclose(file);
        std::exit(1);
    }
    const auto size = static_cast<std::uint64_t>(status.st_size);
    auto *buffer = static_cast<std::uint8_t *>(alloc_or_exit(static_cast<std::size_t>(size)));
    if (std::fread(buffer, static_cast<std::size_t>(size), 1, file) != 1) {
        std::free(buffer);
        std::fclose(file);
        std::exit(1);
    }
#if !ZORVIK_CHANNELS
    // This library would drop the channels from the next save: keep the
    // file as it is for a build that can load them.
    if (save_holds_channels(buffer, static_cast<std::size_t>(size))) {
        std::free(buffer);
        std::fclose(file);
        std::fprintf(stderr,
                     "Error: %s holds channels (new-style group chats), which this build cannot load; "
                     "not starting, so that they are not lost. A build with libtoxcore 0.2.19 or newer "
                     "keeps them.\n",
                     save_path);
        std::exit(1);
    }
#endif
    Tox_Options *options = new_default_options();
    tox_options_set_savedata_type(options, TOX_SAVEDATA_TYPE_TOX_SAVE);
    tox_options_set_savedata_data(options, buffer, static_cast<std::size_t>(size));
    Tox_Err_New error = TOX_ERR_NEW_OK;
    Tox *tox = tox_new(options, &error);
    tox_options_free(options);
    std::free(buffer);
    if (error != TOX_ERR_NEW_OK) {
        std::fclose(file);
        exit_with_tox_new_error(tox, error);
    }
    std::fclose(file);
    return tox;
}

// Opens the save file for reading like fopen(path, "rb"), but without
// waiting: a FIFO under that name would otherwise block the start for
// good. The file type is checked by the caller before anything is read.
std::FILE *open_save_for_reading()
{
    const int fd = open(save_path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return nullptr;
    }
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    std::FILE *file = fdopen(fd, "rb");
    if (file == nullptr) {
        const int saved = errno;
        close(fd);
        errno = saved;
    }
    return file;
}

Tox *make_new_identity()
{
    Tox_Options *options = new_default_options();
    Tox_Err_New error = TOX_ERR_NEW_OK;
    Tox *tox = tox_new(options, &error);
    tox_options_free(options);
    if (error != TOX_ERR_NEW_OK) {
        exit_with_tox_new_error(tox, error);
    }
    return tox;
}

}  // namespace

void on_interrupt(int)
{
    bot_state.stop_requested = 1;
}

void install_process_settings()
{
    std::signal(SIGINT, on_interrupt);
    std::signal(SIGXFSZ, SIG_IGN);
    // A reader of standard output or error that goes away (a pipe closed,
    // a terminal gone) must not end the bot: the write fails, the bot goes on.
    std::signal(SIGPIPE, SIG_IGN);
    umask(066);
}

Tox *create_tox_instance()
{
    // A save killed mid-write leaves only its temporary file; the real file
    // is untouched, so the leftover is simply discarded.
    remove_stale_save_temp(save_path);

    std::FILE *file = open_save_for_reading();
    Tox *tox = nullptr;
    bool is_new = false;
    if (file != nullptr) {
        tox = load_saved_identity(file);
    } else {
        const int open_error = errno;
        struct stat status {};
        if (lstat(save_path, &status) == 0) {
            // Something is there (unreadable file, dangling link): making a
            // new identity would destroy the old one at the first save.
            exit_unreadable_save(std::strerror(open_error));
        }
        tox = make_new_identity();
        is_new = true;
    }
    if (is_new) {
        save_data(tox, save_path);
    }
    return tox;
}

void register_event_handlers(Tox *tox)
{
    tox_callback_self_connection_status(tox, on_self_connection_status);
    tox_callback_friend_connection_status(tox, on_friend_connection_status);
    tox_callback_friend_request(tox, on_friend_request);
    tox_callback_friend_message(tox, on_friend_message);
    tox_callback_friend_read_receipt(tox, on_friend_read_receipt);
    tox_callback_conference_invite(tox, on_conference_invite);
    tox_callback_conference_title(tox, on_conference_title);
#if ZORVIK_CHANNELS
    tox_callback_group_peer_join(tox, on_channel_peer_join);
    tox_callback_group_peer_exit(tox, on_channel_peer_exit);
#endif
}

void apply_profile_defaults(Tox *tox)
{
    if (tox_self_get_status_message_size(tox) == 0) {
        tox_self_set_status_message(tox, reinterpret_cast<const std::uint8_t *>(default_status_message),
                                    sizeof default_status_message - 1, nullptr);
    }
    if (tox_self_get_name_size(tox) == 0) {
        tox_self_set_name(tox, reinterpret_cast<const std::uint8_t *>(default_name), sizeof default_name - 1,
                          nullptr);
    }
}

void print_banner(const Tox *tox)
{
    char id[2 * address_size + 1];
    format_tox_id(tox, id);

    char name[max_name_length + 1] = {};
    std::size_t name_size = tox_self_get_name_size(tox);
    if (name_size <= max_name_length) {
        tox_self_get_name(tox, reinterpret_cast<std::uint8_t *>(name));
    } else {
        name_size = 0;
    }
    name[name_size] = '\0';
    make_log_safe(name);  // a master may have set any bytes as the name

    std::printf("Zorvik version %s\n", bot_version);
    std::printf("ID: %s\n", id);
    std::printf("Name: %s\n", name);
    std::printf("Contacts: %d\n", static_cast<int>(tox_self_get_friend_list_size(tox)));
    std::printf("Inactive contacts purged after %lu days\n",
                static_cast<unsigned long>(bot_state.inactive_limit_seconds / seconds_per_day));
}

}  // namespace zorvik
