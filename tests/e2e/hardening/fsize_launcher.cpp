// fsize_launcher BYTES PROGRAM [ARG...]: runs PROGRAM with its file size
// limit (RLIMIT_FSIZE, soft and hard) set to BYTES. Lets a test start the
// bot as if its disk could hold no more than that per file. SIGXFSZ is put
// back to its default action first, so a program that does not ignore it
// itself dies at the first write beyond the limit.
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <sys/resource.h>
#include <unistd.h>

int main(int argc, char **argv)
{
    if (argc < 3) {
        std::fputs("usage: fsize_launcher BYTES PROGRAM [ARG...]\n", stderr);
        return 2;
    }
    char *end = nullptr;
    const unsigned long long bytes = std::strtoull(argv[1], &end, 10);
    if (end == argv[1] || *end != '\0') {
        std::fprintf(stderr, "fsize_launcher: \"%s\" is not a byte count\n", argv[1]);
        return 2;
    }
    const rlimit limit{static_cast<rlim_t>(bytes), static_cast<rlim_t>(bytes)};
    if (setrlimit(RLIMIT_FSIZE, &limit) != 0) {
        std::fprintf(stderr, "fsize_launcher: setrlimit failed: %s\n", std::strerror(errno));
        return 2;
    }
    std::signal(SIGXFSZ, SIG_DFL);
    execv(argv[2], argv + 2);
    std::fprintf(stderr, "fsize_launcher: cannot run %s: %s\n", argv[2], std::strerror(errno));
    return 127;
}
