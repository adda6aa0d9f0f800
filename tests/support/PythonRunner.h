// Runs Debian's python3 on a script given as an argument, feeding stdin and
// collecting stdout: a reference implementation for encodings in the tests.
#pragma once

#include <string>
#include <vector>

struct TPythonResult {
    int exitCode = -1;
    std::string out;
};

// /usr/bin/python3 -c script args..., started with an argument vector.
TPythonResult RunPython(const std::string& script, const std::string& input,
                        const std::vector<std::string>& args = {});

// Lower-case hexadecimal of bytes, and back.
std::string ToHex(const std::string& bytes);
std::string FromHex(const std::string& hex);
