// mailsortello-cli: the window's connection test and send from a terminal.
#include <cstdio>

#include "app/cli/MailSortelloCli.h"

int main(int argc, char** argv) {
    TMailSortelloCli cli(stdout, stderr);
    return cli.Run(std::vector<std::string>(argv + 1, argv + argc));
}
