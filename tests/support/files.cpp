#include "files.hpp"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>
#include <vector>

#include <unistd.h>

namespace zorvik::test {

TempDir::TempDir()
{
    const std::string pattern = (std::filesystem::temp_directory_path() / "zorvik-test-XXXXXX").string();
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    if (mkdtemp(name.data()) == nullptr) {
        std::fprintf(stderr, "test: mkdtemp failed: %s\n", std::strerror(errno));
        std::abort();
    }
    path_ = name.data();
}

TempDir::~TempDir()
{
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

std::string TempDir::file(std::string_view name) const
{
    return path_ + "/" + std::string(name);
}

ScopedChdir::ScopedChdir(const std::string &directory)
{
    std::error_code error;
    previous_ = std::filesystem::current_path(error).string();
    ok_ = !error && chdir(directory.c_str()) == 0;
}

ScopedChdir::~ScopedChdir()
{
    if (!previous_.empty() && chdir(previous_.c_str()) != 0) {
        std::abort();  // later tests would run in the wrong place
    }
}

std::string read_file(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool write_file(const std::string &path, std::string_view content)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(content.data(), static_cast<std::streamsize>(content.size()));
    out.close();
    return static_cast<bool>(out);
}

}  // namespace zorvik::test
