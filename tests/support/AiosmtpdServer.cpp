#include "tests/support/AiosmtpdServer.h"

#include "tests/support/TlsTestServer.h"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

extern char** environ;

namespace {

const char* const kPython = "/usr/bin/python3";

std::string ScriptPath() {
    return (std::filesystem::path(MAILSORTELLO_SOURCE_DIR) / "tests" / "support" / "aiosmtpd_server.py").string();
}

std::vector<char*> ArgumentVector(std::vector<std::string>& args) {
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    return argv;
}

// Runs a program to its end with stdout and stderr discarded; its exit code.
int RunQuietly(std::vector<std::string> args) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    std::vector<char*> argv = ArgumentVector(args);
    pid_t pid = -1;
    const int rc = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) return -1;
    int status = 0;
    if (waitpid(pid, &status, 0) != pid) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// Reads the "PORT <n>" line the server prints once it listens.
int ReadPortLine(int fd) {
    std::string line;
    for (;;) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 10000) <= 0) return 0;
        char c;
        if (::read(fd, &c, 1) != 1) return 0;
        if (c == '\n') break;
        line += c;
    }
    return line.rfind("PORT ", 0) == 0 ? std::atoi(line.c_str() + 5) : 0;
}

}  // namespace

bool TAiosmtpdServer::Available() {
    return ::access(kPython, X_OK) == 0 && RunQuietly({kPython, "-c", "import aiosmtpd"}) == 0;
}

std::string TAiosmtpdServer::SkipReason() {
    if (Available()) return std::string();
    const char* ci = std::getenv("CI");
    if (ci != nullptr && std::string(ci) == "true")
        throw std::runtime_error("python3-aiosmtpd is required in CI but cannot be imported by /usr/bin/python3");
    return "python3-aiosmtpd is not installed (scripts/deps.sh installs it); real-server cases skipped";
}

TAiosmtpdServer::TAiosmtpdServer(const TOptions& options) {
    char pattern[] = "/tmp/mailsortello-aiosmtpd-XXXXXX";
    if (::mkdtemp(pattern) == nullptr) throw std::runtime_error("mkdtemp failed");
    workDir_ = pattern;
    storeDir_ = workDir_ + "/messages";
    std::filesystem::create_directory(storeDir_);
    if (options.starttls || options.implicitTls) MakeCertificate();
    Start(options);
}

TAiosmtpdServer::~TAiosmtpdServer() {
    Stop();
    std::error_code ignored;
    std::filesystem::remove_all(workDir_, ignored);
}

void TAiosmtpdServer::Stop() {
    if (stdinFd_ >= 0) ::close(stdinFd_);  // the script ends when its input closes
    stdinFd_ = -1;
    if (pid_ > 0) {
        ::kill(pid_, SIGTERM);
        int status = 0;
        ::waitpid(pid_, &status, 0);
    }
    pid_ = -1;
}

void TAiosmtpdServer::MakeCertificate() {
    std::ofstream(workDir_ + "/cert.pem", std::ios::binary) << TlsTestCertificatePem();
    std::ofstream(workDir_ + "/key.pem", std::ios::binary) << TlsTestKeyPem();
}

void TAiosmtpdServer::Start(const TOptions& options) {
    std::vector<std::string> args{kPython, ScriptPath(), "--user", options.user, "--password", options.password,
                                  "--store", storeDir_};
    if (options.starttls || options.implicitTls) {
        args.insert(args.end(), {"--cert", workDir_ + "/cert.pem", "--key", workDir_ + "/key.pem"});
    }
    if (options.starttls) args.push_back("--starttls");
    if (options.implicitTls) args.push_back("--implicit-tls");
    if (options.pipelining) args.push_back("--pipelining");
    if (!options.eightBitMime) args.push_back("--no-8bitmime");
    if (options.authRequireTls) args.push_back("--auth-require-tls");
    if (!options.refuseRecipient.empty()) {
        args.push_back("--refuse-rcpt");
        args.push_back(options.refuseRecipient);
    }

    int in[2];
    int out[2];
    if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    std::vector<char*> argv = ArgumentVector(args);
    const int rc = posix_spawn(&pid_, kPython, &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(in[0]);
    ::close(out[1]);
    stdinFd_ = in[1];
    if (rc != 0) {
        ::close(out[0]);
        pid_ = -1;
        throw std::runtime_error("cannot start " + std::string(kPython));
    }
    port_ = ReadPortLine(out[0]);
    ::close(out[0]);
    if (port_ <= 0) {
        Stop();
        throw std::runtime_error("aiosmtpd_server.py did not report its port");
    }
}

std::vector<TAiosmtpdServer::TStored> TAiosmtpdServer::Stored() const {
    std::vector<TStored> stored;
    for (int n = 1;; ++n) {
        const std::filesystem::path base = std::filesystem::path(storeDir_) / std::to_string(n);
        const std::filesystem::path eml = base.string() + ".eml";
        if (!std::filesystem::exists(eml)) break;
        stored.push_back({ReadFile(base.string() + ".env"), ReadFile(eml), ReadFile(base.string() + ".opt")});
    }
    return stored;
}
