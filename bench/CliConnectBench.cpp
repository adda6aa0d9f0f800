// Times `mailsortello-cli connect` as a whole process against a loopback
// SMTP peer that greets, answers EHLO and QUIT: process start, reading the
// settings, connect, greeting, EHLO, QUIT and exit. Goal: at most 5 ms
// (median) for the clear tab. The encrypted tab without TLS also builds a
// TLS context (the libraries are loaded) and is shown for comparison.
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/SilentListener.h"

extern char** environ;

namespace {

// Reads whole receives, so that the peer costs few system calls.
bool ReadLine(int fd, std::string& pending, std::string& line) {
    for (;;) {
        const size_t lf = pending.find('\n');
        if (lf != std::string::npos) {
            line = pending.substr(0, lf > 0 && pending[lf - 1] == '\r' ? lf - 1 : lf);
            pending.erase(0, lf + 1);
            return true;
        }
        char buffer[512];
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n <= 0) return false;
        pending.append(buffer, static_cast<size_t>(n));
    }
}

void Say(int fd, const char* text) { (void)!::write(fd, text, std::char_traits<char>::length(text)); }

// Serves connections until `stop`: the three replies a connection test needs.
void Serve(int listener, std::atomic<bool>& stop) {
    while (!stop) {
        const int fd = ::accept(listener, nullptr, nullptr);
        if (fd < 0) continue;
        Say(fd, "220 bench ESMTP\r\n");
        std::string pending;
        for (std::string line; ReadLine(fd, pending, line);) {
            if (line.rfind("EHLO", 0) == 0) Say(fd, "250-bench\r\n250 AUTH LOGIN\r\n");
            if (line == "QUIT") {
                Say(fd, "221 bye\r\n");
                break;
            }
        }
        ::close(fd);
    }
}

double RunOnce(std::vector<std::string> args) {
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    const auto start = std::chrono::steady_clock::now();
    pid_t pid = -1;
    int status = -1;
    if (::posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0) ::waitpid(pid, &status, 0);
    const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    posix_spawn_file_actions_destroy(&actions);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) std::printf("  run failed (status %d)\n", status);
    return ms;
}

void Report(const char* what, std::vector<std::string> args, int runs) {
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) times.push_back(RunOnce(args));
    std::sort(times.begin(), times.end());
    std::printf("%-34s median %6.2f ms  min %6.2f ms  max %6.2f ms  (%d runs)\n", what, times[times.size() / 2],
                times.front(), times.back(), runs);
}

}  // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 50;
    // A clean settings folder, so that the figures do not depend on the user's.
    char folder[] = "/tmp/cli-bench-XXXXXX";
    if (::mkdtemp(folder) == nullptr) return 1;
    ::setenv("XDG_CONFIG_HOME", folder, 1);

    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr = loopback::Address(0);
    ::bind(listener, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    ::listen(listener, 16);
    const std::string port = std::to_string(loopback::PortOf(listener));
    std::atomic<bool> stop{false};
    std::thread server(Serve, listener, std::ref(stop));

    const std::vector<std::string> common{MAILSORTELLO_CLI, "connect", "--no-stored", "--host", "127.0.0.1",
                                          "--port", port, "--auth", "none"};
    std::vector<std::string> clear = common, encrypted = common;
    clear.insert(clear.end(), {"--tab", "smtp"});
    encrypted.insert(encrypted.end(), {"--tab", "smtp-tls", "--use-tls", "none"});
    Report("connect, clear tab:", clear, runs);
    Report("connect, encrypted tab, no TLS:", encrypted, runs);
    Report("--version (start and exit only):", {MAILSORTELLO_CLI, "--version"}, runs);
    Report("/bin/true (process floor):", {"/bin/true"}, runs);

    stop = true;
    ::shutdown(listener, SHUT_RDWR);
    ::close(listener);
    server.join();
    ::rmdir(folder);
    return 0;
}
