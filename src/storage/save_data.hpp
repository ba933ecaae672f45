// The save-data file: the bot's Tox identity, friends and profile, in the
// library's own format, rewritten whole at every save.
#pragma once

#include <cstdint>

#include <tox/tox.h>

namespace zorvik {

// The one name every reader and writer of the save data uses.
inline constexpr const char *save_path = "zorvik_save";

// Writes tox_get_savedata to `path`, atomically: the bytes go to
// "<path>.tmp" in the same directory, are flushed to disk, and the temporary
// file is renamed over `path` only after a complete write, so a failed or
// interrupted save never destroys the previous file. A rewritten file keeps
// its permission bits. Returns 0 on success, -1 on failure; every failure
// prints "Warning: save_data failed" on standard error, followed by
// " (cannot create <path>.tmp: <reason>)" when the temporary file cannot be
// created.
std::int32_t save_data(const Tox *tox, const char *path);

// Removes a temporary file left behind by a save that was killed mid-write.
void remove_stale_save_temp(const char *path);

}  // namespace zorvik
