// Where the command line takes the password from, never its own arguments
// (other users can read those): a file, an environment variable, or a
// prompt without echo when standard input is a terminal.
#pragma once

#include <cstdio>
#include <string>

#include "app/cli/CliOptions.h"

// The password in the terminal's encoding. `prompt`: whether a session
// would use one (the prompt is only shown then). Raises ECliUsageError
// for an unreadable file or an unset variable.
std::string CliPassword(const TCliOptions& options, bool prompt, FILE* promptStream);
