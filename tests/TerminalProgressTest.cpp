// The command line's progress line: on a terminal (a pseudo-terminal here)
// a line rewritten in place during the send and erased after it; on a pipe
// not one byte more than without it.
#include "app/cli/TerminalProgress.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <string>
#include <vector>

#include "tests/support/SlowSmtpServer.h"

extern char** environ;

namespace {

// A pseudo-terminal pair in raw mode: the bytes arrive as written.
struct TPty {
    int master = -1;
    int slave = -1;
    TPty() {
        master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0) return;
        slave = ::open(::ptsname(master), O_RDWR | O_NOCTTY | O_CLOEXEC);
        termios mode{};
        if (slave >= 0 && ::tcgetattr(slave, &mode) == 0) {
            ::cfmakeraw(&mode);
            ::tcsetattr(slave, TCSANOW, &mode);
        }
    }
    ~TPty() {
        if (slave >= 0) ::close(slave);
        if (master >= 0) ::close(master);
    }
};

// Reads fds until each reports its end (EOF, or EIO on a pty's master).
std::vector<std::string> ReadAll(std::vector<int> fds) {
    std::vector<std::string> texts(fds.size());
    std::vector<pollfd> polls;
    for (int fd : fds) polls.push_back({fd, POLLIN, 0});
    size_t open = fds.size();
    while (open > 0 && ::poll(polls.data(), polls.size(), 30000) > 0) {
        for (size_t i = 0; i < polls.size(); ++i) {
            if (polls[i].fd < 0 || polls[i].revents == 0) continue;
            char buffer[4096];
            const ssize_t n = ::read(polls[i].fd, buffer, sizeof buffer);
            if (n <= 0) {
                polls[i].fd = -1;
                --open;
                continue;
            }
            texts[i].append(buffer, static_cast<size_t>(n));
        }
    }
    return texts;
}

struct TRun {
    int status = -1;
    std::string out, err;
};

class TerminalProgressCli : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/mailsortello-progress-XXXXXX";
        dir_ = ::mkdtemp(pattern);
        attachment_ = dir_ + "/grande.bin";
        std::ofstream(attachment_, std::ios::binary) << std::string(12 << 20, 'x');
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }

    // A send of the big attachment to a slow server; standard error on a
    // pseudo-terminal or on a pipe.
    TRun Send(bool terminal) {
        TSlowSmtpServer server(6 << 20);
        std::vector<std::string> args{MAILSORTELLO_CLI, "send", "--no-stored", "--tab", "smtp", "--host",
                                      "127.0.0.1", "--port", std::to_string(server.Port()), "--auth", "none",
                                      "--from", "tecnico@sortello.test", "--to", "ufficio@sortello.test",
                                      "--subject", "Prova", "--body", "Corpo", "--attach", attachment_};
        std::vector<char*> argv;
        for (std::string& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        setenv("XDG_CONFIG_HOME", (dir_ + "/config").c_str(), 1);
        setenv("XDG_CONFIG_DIRS", (dir_ + "/etc").c_str(), 1);
        unsetenv("LC_ALL");
        unsetenv("LC_CTYPE");
        setenv("LANG", "C.UTF-8", 1);
        TPty pty;
        int out[2], err[2];
        EXPECT_EQ(::pipe2(out, O_CLOEXEC), 0);
        EXPECT_EQ(::pipe2(err, O_CLOEXEC), 0);
        EXPECT_GE(pty.slave, 0);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        posix_spawn_file_actions_adddup2(&actions, terminal ? pty.slave : err[1], 2);
        pid_t pid = -1;
        const int spawned = ::posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        ::close(out[1]);
        ::close(err[1]);
        ::close(pty.slave);
        pty.slave = -1;
        EXPECT_EQ(spawned, 0);
        const std::vector<std::string> texts = ReadAll({out[0], terminal ? pty.master : err[0]});
        ::close(out[0]);
        ::close(err[0]);
        TRun run;
        int status = 0;
        if (spawned == 0 && ::waitpid(pid, &status, 0) == pid && WIFEXITED(status)) run.status = WEXITSTATUS(status);
        run.out = texts[0];
        run.err = texts[1];
        port_ = std::to_string(server.Port());
        return run;
    }
    // The port of the last run's server made neutral, for comparing runs.
    std::string WithoutPort(const std::string& text) const {
        return std::regex_replace(text, std::regex(port_), "PORT");
    }

    std::string dir_, attachment_, port_;
};

}  // namespace

TEST(TerminalProgress, OnlyATerminalGetsOne) {
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    FILE* pipeEnd = ::fdopen(fds[1], "w");
    EXPECT_EQ(TTerminalProgress::ForStream(pipeEnd), nullptr);
    std::fclose(pipeEnd);
    ::close(fds[0]);
    TPty pty;
    ASSERT_GE(pty.slave, 0);
    FILE* terminal = ::fdopen(::dup(pty.slave), "w");
    EXPECT_NE(TTerminalProgress::ForStream(terminal), nullptr);
    std::fclose(terminal);
}

TEST_F(TerminalProgressCli, TerminalSeesTheLineRewrittenAndErasedAPipeSeesNothingOfIt) {
    const TRun plain = Send(false);
    const std::string plainErr = WithoutPort(plain.err);
    const TRun shown = Send(true);
    ASSERT_EQ(plain.status, 0) << plain.err;
    ASSERT_EQ(shown.status, 0) << shown.err;
    EXPECT_EQ(plain.err.find('\r'), std::string::npos);
    EXPECT_EQ(plain.err.find("\x1b["), std::string::npos);
    EXPECT_EQ(plain.err.find("Inviati"), std::string::npos);

    // Progress states: "\r" text "\x1b[K"; the last one erases the line.
    const std::regex state("\r(Inviati [0-9]+,[0-9] [kM]B di circa 16,[0-9] MB \xE2\x80\x94 [0-9]+,[0-9] [kM]B/s)?\x1b\\[K");
    std::vector<std::string> states;
    for (std::sregex_iterator i(shown.err.begin(), shown.err.end(), state), end; i != end; ++i)
        states.push_back((*i)[1].str());
    ASSERT_GE(states.size(), 3u) << shown.err;
    EXPECT_NE(states.front(), "");
    EXPECT_EQ(states.back(), "");
    EXPECT_NE(states[states.size() - 2], states.front());
    // Without them the terminal got exactly what the pipe got.
    EXPECT_EQ(WithoutPort(std::regex_replace(shown.err, state, "")), plainErr);
    EXPECT_EQ(WithoutPort(shown.out), WithoutPort(plain.out));
}
