// A program for process tests: appends what it was started with to the file named by
// ZARQ_PROBE_OUT, one "key=value" line each, then ends with the exit code in ZARQ_PROBE_EXIT.
//   arg=<argument>      one line per argument after the program's own name
//   cwd=<directory>     its current directory
//   session=own|shared  whether it leads a session of its own
//   fd0= fd1= fd2=      where its standard streams lead
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <unistd.h>

int main(int argc, char** argv) {
    const char* out = std::getenv("ZARQ_PROBE_OUT");
    if (out) {
        if (FILE* f = std::fopen(out, "a")) {
            for (int i = 1; i < argc; ++i)
                std::fprintf(f, "arg=%s\n", argv[i]);
            char cwd[PATH_MAX];
            std::fprintf(f, "cwd=%s\n", getcwd(cwd, sizeof cwd) ? cwd : "?");
            std::fprintf(f, "session=%s\n", getsid(0) == getpid() ? "own" : "shared");
            for (int fd = 0; fd <= 2; ++fd) {
                char link[64];
                char target[PATH_MAX] = {};
                std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
                const ssize_t n = readlink(link, target, sizeof target - 1);
                std::fprintf(f, "fd%d=%s\n", fd, n > 0 ? target : "closed");
            }
            std::fprintf(f, "end\n");
            std::fclose(f);
        }
    }
    const char* code = std::getenv("ZARQ_PROBE_EXIT");
    return code ? std::atoi(code) : 0;
}
