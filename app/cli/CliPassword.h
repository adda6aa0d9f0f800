// Where the command line takes the password from, never its own arguments
// (other users can read those): a file, an environment variable, or a
// prompt without echo when standard input is a terminal.
#pragma once

#include <cstdio>
#include <string>

#include "app/FieldModel.h"
#include "app/cli/CliOptions.h"

// The password in the terminal's encoding. `prompt`: whether a session
// would use one (the prompt is only shown then). Raises ECliUsageError
// for an unusable file (see CliInputFile.h), an unset variable, and for a
// send that would log in with no source and no terminal to ask on.
std::string CliPassword(const TCliOptions& options, bool prompt, FILE* promptStream);
// The same, put into the field edtPassword in the ANSI code page; the
// copies made on the way are wiped.
void SetCliPassword(const TCliOptions& options, bool prompt, FILE* promptStream, TFieldModel& fields);
