#include "tests/support/DesktopSandbox.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "platform/Locale.h"

namespace fs = std::filesystem;

TDesktopSandbox::TDesktopSandbox() {
    std::string pattern = (fs::temp_directory_path() / "mailsortello-sandbox-XXXXXX").string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    root_ = pattern;
    for (const char* sub : {"/config", "/xdg", "/data", "/bin"}) fs::create_directories(root_ + sub);
    SetEnv("XDG_CONFIG_HOME", ConfigHome());
    SetEnv("XDG_CONFIG_DIRS", ConfigDir() + ":/nonexistent/xdg");
    SetEnv("XDG_DATA_HOME", DataHome());
    SetEnv("XDG_DATA_DIRS", root_ + "/nodata");
    const char* path = std::getenv("PATH");
    SetEnv("PATH", root_ + "/bin:" + (path ? path : "/usr/bin:/bin"));
}

TDesktopSandbox::~TDesktopSandbox() {
    for (const auto& [name, value] : savedEnv_) setenv(name.c_str(), value.c_str(), 1);
    for (const auto& name : unsetEnv_) unsetenv(name.c_str());
    std::error_code ignored;
    fs::permissions(root_, fs::perms::owner_all, fs::perm_options::add, ignored);
    fs::remove_all(root_, ignored);
}

void TDesktopSandbox::SetEnv(const char* name, const std::string& value) {
    const char* old = std::getenv(name);
    bool known = false;
    for (const auto& [n, v] : savedEnv_) known = known || n == name;
    for (const auto& n : unsetEnv_) known = known || n == name;
    if (!known) {
        if (old)
            savedEnv_.emplace_back(name, old);
        else
            unsetEnv_.push_back(name);
    }
    setenv(name, value.c_str(), 1);
}

void TDesktopSandbox::MakeMachineRootUnwritable() {
    WriteFile(root_ + "/blocker", "");
    SetEnv("XDG_CONFIG_DIRS", root_ + "/blocker/xdg");
}

void TDesktopSandbox::FakeProgram(const std::string& name, int exitCode, const std::string& output) {
    const std::string log = root_ + "/" + name + ".calls";
    WriteFile(root_ + "/" + name + ".out", output);
    // Arguments end in NUL, each run in a record separator (0x1E); the log
    // is appended to in one write so concurrent runs do not interleave.
    std::ostringstream script;
    script << "#!/bin/sh\n"
           << "cat '" << root_ << "/" << name << ".out'\n"
           << "{ for a in \"$@\"; do printf '%s\\000' \"$a\"; done; printf '\\036'; } > '" << log << ".part.'$$\n"
           << "cat '" << log << ".part.'$$ >> '" << log << "'; rm -f '" << log << ".part.'$$\n"
           << "exit " << exitCode << "\n";
    const std::string path = root_ + "/bin/" + name;
    WriteFile(path, script.str());
    chmod(path.c_str(), 0755);
}

std::vector<std::vector<std::string>> TDesktopSandbox::Calls(const std::string& name) const {
    const std::string text = ReadFile(root_ + "/" + name + ".calls");
    std::vector<std::vector<std::string>> calls;
    std::vector<std::string> args;
    std::string current;
    for (char c : text) {
        if (c == '\036') {
            calls.push_back(args);
            args.clear();
        } else if (c == '\0') {
            args.push_back(current);
            current.clear();
        } else {
            current += c;
        }
    }
    return calls;
}

bool TDesktopSandbox::WaitForCalls(const std::string& name, size_t count, int timeoutMs) const {
    const uint64_t deadline = MonotonicMilliseconds() + static_cast<uint64_t>(timeoutMs);
    while (Calls(name).size() < count) {
        if (MonotonicMilliseconds() > deadline) return false;
        SleepMilliseconds(10);
    }
    return true;
}

void TDesktopSandbox::DesktopEntry(const std::string& id, const std::string& name) {
    WriteFile(DataHome() + "/applications/" + id,
              "[Desktop Entry]\nType=Application\nName[it]=Altro\nName=" + name + "\nExec=true %u\n");
}

std::string TDesktopSandbox::BuiltMapiProvider() {
    // Test programs live in <build>/tests, the program and its library in
    // <build>/app.
    return (fs::read_symlink("/proc/self/exe").parent_path().parent_path() / "app" / "libmapi32.so").string();
}

void TDesktopSandbox::WriteFile(const std::string& path, const std::string& text) {
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
}

std::string TDesktopSandbox::ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}
