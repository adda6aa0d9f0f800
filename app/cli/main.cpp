// mailsortello-cli: the window's connection test and send from a terminal.
#include <cstdio>
#include <exception>

#include "app/cli/MailSortelloCli.h"
#include "platform/Process.h"

int main(int argc, char** argv) {
    DisableCoreDumps();
    TMailSortelloCli cli(stdout, stderr);
    // Whatever escapes is still one clear line and a usage status, never an abort.
    try {
        return cli.Run(std::vector<std::string>(argv + 1, argv + argc));
    } catch (const std::exception& e) {
        WriteTerminalLine(stderr, std::string("mailsortello-cli: ") + e.what());
        return cesUsage;
    }
}
