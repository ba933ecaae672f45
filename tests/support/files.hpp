// Files for tests: throw-away folders, a working folder for the length of a
// scope, and whole-file reads and writes.
#pragma once

#include <string>
#include <string_view>

namespace zorvik::test {

// A folder under the system's temporary directory, made fresh by the
// constructor (the process aborts when it cannot be made) and removed with
// everything in it by the destructor.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir &) = delete;
    TempDir &operator=(const TempDir &) = delete;

    const std::string &path() const { return path_; }
    // path() + "/" + name.
    std::string file(std::string_view name) const;

private:
    std::string path_;
};

// Makes `directory` the working directory for the life of the object; the
// process aborts when the previous one cannot be restored.
class ScopedChdir {
public:
    explicit ScopedChdir(const std::string &directory);
    ~ScopedChdir();
    ScopedChdir(const ScopedChdir &) = delete;
    ScopedChdir &operator=(const ScopedChdir &) = delete;

    bool ok() const { return ok_; }

private:
    std::string previous_;
    bool ok_ = false;
};

// The bytes of a file; empty when it cannot be read.
std::string read_file(const std::string &path);

// Replaces a file with `content`; false when that fails.
bool write_file(const std::string &path, std::string_view content);

}  // namespace zorvik::test
