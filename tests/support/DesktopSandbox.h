// A private desktop for one test: temporary XDG config and data folders and
// a folder of fake helper programs (xdg-email, xdg-open, xdg-mime, ...)
// placed first on PATH. Each fake records its argument vector and exits
// with the status the test chose. Everything is put back and removed when
// the sandbox goes away.
#pragma once

#include <string>
#include <vector>

class TDesktopSandbox {
public:
    TDesktopSandbox();
    ~TDesktopSandbox();
    TDesktopSandbox(const TDesktopSandbox&) = delete;
    TDesktopSandbox& operator=(const TDesktopSandbox&) = delete;

    const std::string& Root() const { return root_; }
    std::string ConfigHome() const { return root_ + "/config"; }   // XDG_CONFIG_HOME
    std::string ConfigDir() const { return root_ + "/xdg"; }       // first of XDG_CONFIG_DIRS
    std::string DataHome() const { return root_ + "/data"; }       // XDG_DATA_HOME
    std::string UserRegistryFile() const { return ConfigHome() + "/mailsortello/HKEY_CURRENT_USER.reg"; }
    std::string MachineRegistryFile() const { return ConfigDir() + "/mailsortello/HKEY_LOCAL_MACHINE.reg"; }

    // Points XDG_CONFIG_DIRS at a place nobody can create (below a regular
    // file), so the machine-wide root cannot be written, even by root.
    void MakeMachineRootUnwritable();

    // Installs a fake program: it records its arguments, prints output on
    // standard output and exits with exitCode.
    void FakeProgram(const std::string& name, int exitCode = 0, const std::string& output = "");
    // Argument vectors of every run of the fake so far (argv[0] left out).
    std::vector<std::vector<std::string>> Calls(const std::string& name) const;
    // Waits up to timeoutMs for the fake to have run count times.
    bool WaitForCalls(const std::string& name, size_t count, int timeoutMs = 3000) const;

    // A desktop entry applications/<id> with Name=name in XDG_DATA_HOME.
    void DesktopEntry(const std::string& id, const std::string& name);

    // The libmapi32.so of this build (in app/ beside the program).
    static std::string BuiltMapiProvider();

    static void WriteFile(const std::string& path, const std::string& text);
    static std::string ReadFile(const std::string& path);

private:
    std::string root_;
    std::vector<std::pair<std::string, std::string>> savedEnv_;
    std::vector<std::string> unsetEnv_;
    void SetEnv(const char* name, const std::string& value);
};
