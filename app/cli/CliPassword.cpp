#include "app/cli/CliPassword.h"

#include <termios.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>

namespace {

std::string WithoutLineEnd(std::string line) {
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
    return line;
}

std::string FromFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) throw ECliUsageError("--password-file: cannot read '" + path + "'");
    std::string line;
    std::getline(file, line);
    return WithoutLineEnd(line);
}

std::string FromEnvironment(const std::string& name) {
    const char* value = std::getenv(name.c_str());
    if (value == nullptr) throw ECliUsageError("--password-env: the variable '" + name + "' is not set");
    return value;
}

std::string ReadLine(FILE* stream) {
    std::string line;
    for (int c; (c = std::fgetc(stream)) != EOF && c != '\n';) line += static_cast<char>(c);
    return WithoutLineEnd(line);
}

std::string FromPrompt(FILE* promptStream) {
    std::fputs("Password: ", promptStream);
    std::fflush(promptStream);
    termios saved{};
    const bool quiet = tcgetattr(STDIN_FILENO, &saved) == 0;
    if (quiet) {
        termios noEcho = saved;
        noEcho.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        tcsetattr(STDIN_FILENO, TCSAFLUSH, &noEcho);
    }
    const std::string password = ReadLine(stdin);
    if (quiet) tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
    std::fputs("\n", promptStream);
    return password;
}

}  // namespace

std::string CliPassword(const TCliOptions& options, bool prompt, FILE* promptStream) {
    if (options.passwordFile) return FromFile(*options.passwordFile);
    if (options.passwordEnv) return FromEnvironment(*options.passwordEnv);
    if (prompt && isatty(STDIN_FILENO)) return FromPrompt(promptStream);
    return {};
}
