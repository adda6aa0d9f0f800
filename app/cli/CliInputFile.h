// The files the command line reads (--body-file, --password-file) and
// names (--attach). Each may be missing, a folder, a FIFO, unreadable or
// huge: every such case is an ECliUsageError naming the option, raised
// before anything connects. Paths are the system's own (UTF-8) names.
#pragma once

#include <cstddef>
#include <string>

// Raises unless path is a regular file this process can open for reading.
void CheckCliInputFile(const std::string& option, const std::string& path);
// The whole file; raises as above, and when it holds more than limit bytes.
std::string ReadCliInputFile(const std::string& option, const std::string& path, size_t limit);
