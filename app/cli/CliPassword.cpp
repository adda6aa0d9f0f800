#include "app/cli/CliPassword.h"

#include <cstdlib>

#include "app/cli/CliInputFile.h"
#include "app/cli/TerminalPrompt.h"
#include "app/cli/TerminalText.h"
#include "core/SecureWipe.h"

namespace {

// One line of a password is short; a bigger file is not a password file.
constexpr size_t kPasswordFileLimit = 64 * 1024;

std::string WithoutLineEnd(std::string line) {
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
    return line;
}

// The first line, cut in place: the rest of the file is wiped with the buffer.
std::string FromFile(const std::string& path) {
    std::string text = ReadCliInputFile("--password-file", path, kPasswordFileLimit);
    const size_t end = text.find('\n');
    std::string line = WithoutLineEnd(text.substr(0, end));
    SecureWipe(text);
    return line;
}

std::string FromEnvironment(const std::string& name) {
    const char* value = std::getenv(name.c_str());
    if (value == nullptr) throw ECliUsageError("--password-env: the variable '" + name + "' is not set");
    return value;
}

std::string FromPrompt(FILE* promptStream) {
    std::fputs("Password: ", promptStream);
    std::fflush(promptStream);
    std::string password = ReadHiddenLine();
    std::fputs("\n", promptStream);
    return WithoutLineEnd(std::move(password));
}

}  // namespace

std::string CliPassword(const TCliOptions& options, bool prompt, FILE* promptStream) {
    if (options.passwordFile) return FromFile(*options.passwordFile);
    if (options.passwordEnv) return FromEnvironment(*options.passwordEnv);
    if (prompt && StdinIsTerminal()) return FromPrompt(promptStream);
    // Logging in with an empty password nobody typed would only end in a
    // refusal that looks like a wrong password.
    if (prompt && (options.command == "send" || options.command == "check"))
        throw ECliUsageError("the " + options.command + " logs in, but there is no password: use --password-file, --password-env "
                             "or run it on a terminal");
    return {};
}

void SetCliPassword(const TCliOptions& options, bool prompt, FILE* promptStream, TFieldModel& fields) {
    std::string typed = CliPassword(options, prompt, promptStream);
    std::optional<std::string> ansi = FromTerminalExactly(typed);
    SecureWipe(typed);
    // A "?" in place of a character would only end in a refusal that looks
    // like a wrong password.
    if (!ansi) throw ECliUsageError(NotTypable("the password"));
    fields.SetText("edtPassword", *ansi);
    SecureWipe(*ansi);
}
