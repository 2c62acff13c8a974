// Runs a program once per file named on standard input (one path a line),
// with its input, output and messages on /dev/null, and prints for each run
// "<user µs> <system µs> <peak resident KiB> <status>". It is built static
// and small so that the peak a child reports is the child's own: a process
// started straight from a large interpreter carries the interpreter's peak
// into its own figure across exec.
//
// usage: run_each program [argument ...] < paths
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <vector>

extern char** environ;

int main(int argc, char** argv) {
    if (argc < 2) {
        fprintf(stderr, "usage: run_each program [argument ...] < paths\n");
        return 2;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    std::vector<char*> args(argv + 1, argv + argc);
    args.push_back(nullptr); // the page
    args.push_back(nullptr);
    char path[8192];
    while (fgets(path, sizeof path, stdin)) {
        path[strcspn(path, "\n")] = '\0';
        args[args.size() - 2] = path;
        pid_t pid;
        if (posix_spawn(&pid, argv[1], &actions, nullptr, args.data(), environ) != 0) {
            perror(argv[1]);
            return 2;
        }
        int status = 0;
        struct rusage ru;
        if (wait4(pid, &status, 0, &ru) != pid) {
            perror("wait4");
            return 2;
        }
        printf("%lld %lld %ld %d\n",
               static_cast<long long>(ru.ru_utime.tv_sec) * 1000000 + ru.ru_utime.tv_usec,
               static_cast<long long>(ru.ru_stime.tv_sec) * 1000000 + ru.ru_stime.tv_usec,
               ru.ru_maxrss, WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status));
        fflush(stdout);
    }
    return 0;
}
