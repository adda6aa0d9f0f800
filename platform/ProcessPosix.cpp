#include "platform/Process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <thread>

#include "platform/Locale.h"

extern char** environ;

namespace {

// Owns the file actions of one spawn: stdin and stderr from/to /dev/null,
// stdout to /dev/null or to the write end of a pipe.
class TSpawnActions {
public:
    explicit TSpawnActions(int stdoutFd) {
        posix_spawn_file_actions_init(&actions_);
        posix_spawn_file_actions_addopen(&actions_, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
        if (stdoutFd >= 0)
            posix_spawn_file_actions_adddup2(&actions_, stdoutFd, STDOUT_FILENO);
        else
            posix_spawn_file_actions_addopen(&actions_, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions_, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    }
    ~TSpawnActions() { posix_spawn_file_actions_destroy(&actions_); }
    TSpawnActions(const TSpawnActions&) = delete;
    TSpawnActions& operator=(const TSpawnActions&) = delete;
    const posix_spawn_file_actions_t* Get() const { return &actions_; }

private:
    posix_spawn_file_actions_t actions_;
};

pid_t Spawn(const std::vector<std::string>& argv, int stdoutFd) {
    if (argv.empty()) return -1;
    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    TSpawnActions actions(stdoutFd);
    pid_t pid = -1;
    if (posix_spawnp(&pid, args[0], actions.Get(), nullptr, args.data(), environ) != 0) return -1;
    return pid;
}

int ExitStatusOf(int status) { return WIFEXITED(status) ? WEXITSTATUS(status) : -1; }

int WaitFor(pid_t pid) {
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) return -1;
    }
    return ExitStatusOf(status);
}

// Reads the pipe until the program closes it or the time is up.
bool DrainPipe(int fd, std::string& output, int timeoutMs) {
    const uint64_t deadline = MonotonicMilliseconds() + static_cast<uint64_t>(timeoutMs < 0 ? 0 : timeoutMs);
    char buffer[4096];
    for (;;) {
        int wait = -1;
        if (timeoutMs >= 0) {
            const uint64_t now = MonotonicMilliseconds();
            if (now >= deadline) return false;
            wait = static_cast<int>(deadline - now);
        }
        pollfd p{fd, POLLIN, 0};
        const int ready = poll(&p, 1, wait);
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) return false;
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return true;
        output.append(buffer, static_cast<size_t>(n));
    }
}

// Waits for the program's end, killing it when the time is up.
int WaitWithTimeout(pid_t pid, int timeoutMs) {
    if (timeoutMs < 0) return WaitFor(pid);
    const uint64_t deadline = MonotonicMilliseconds() + static_cast<uint64_t>(timeoutMs);
    int status = 0;
    while (MonotonicMilliseconds() < deadline) {
        const pid_t done = waitpid(pid, &status, WNOHANG);
        if (done == pid) return ExitStatusOf(status);
        if (done < 0 && errno != EINTR) return -1;
        SleepMilliseconds(5);
    }
    kill(pid, SIGKILL);
    WaitFor(pid);
    return -1;
}

int RunCapturing(const std::vector<std::string>& argv, std::string& output, int timeoutMs) {
    int fds[2] = {-1, -1};
    if (pipe2(fds, O_CLOEXEC) != 0) return -1;
    const pid_t pid = Spawn(argv, fds[1]);
    close(fds[1]);
    if (pid < 0) {
        close(fds[0]);
        return -1;
    }
    const bool finished = DrainPipe(fds[0], output, timeoutMs);
    close(fds[0]);
    if (!finished) kill(pid, SIGKILL);
    const int status = WaitFor(pid);
    return finished ? status : -1;
}

}  // namespace

int RunProgram(const std::vector<std::string>& argv, std::string* output, int timeoutMs) {
    if (output) return RunCapturing(argv, *output, timeoutMs);
    // Without a pipe: a program that leaves a daemon behind holding our
    // standard output must not keep us waiting.
    const pid_t pid = Spawn(argv, -1);
    return pid < 0 ? -1 : WaitWithTimeout(pid, timeoutMs);
}

bool StartProgram(const std::vector<std::string>& argv) {
    const pid_t pid = Spawn(argv, -1);
    if (pid < 0) return false;
    std::thread([pid] { WaitFor(pid); }).detach();
    return true;
}

void DisableCoreDumps() {
    const rlimit none{0, 0};
    (void)setrlimit(RLIMIT_CORE, &none);
    (void)prctl(PR_SET_DUMPABLE, 0, 0, 0, 0);
}
