// Things that can stand where a settings file should be and cannot be read
// as one: a folder, a FIFO nobody writes to, a file too large to be
// settings, text that is no registry file, and (when the tests do not run
// as root, whom modes do not stop) a file nobody may read.
#pragma once

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/RegistryFile.h"

struct TUnusableFile {
    const char* name;
    const char* why;  // what the trace says of it
    void (*make)(const std::string& path);
};

inline std::vector<TUnusableFile> UnusableFiles() {
    std::vector<TUnusableFile> files = {
        {"folder", "a folder",
         [](const std::string& path) { std::filesystem::create_directories(path + "/inside"); }},
        {"fifo", "not a regular file", [](const std::string& path) { mkfifo(path.c_str(), 0600); }},
        {"huge", "larger than 64 MB",
         [](const std::string& path) {
             std::ofstream(path) << "Windows Registry Editor Version 5.00\r\n\r\n";
             std::filesystem::resize_file(path, kMaxRegistryFileSize + 1);
         }},
        {"garbage", "line 1: not a registry file",
         [](const std::string& path) { std::ofstream(path) << "not a registry file\r\n"; }},
    };
    if (geteuid() != 0)
        files.push_back({"unreadable", "Permission denied", [](const std::string& path) {
                             std::ofstream(path) << "Windows Registry Editor Version 5.00\r\n\r\n";
                             chmod(path.c_str(), 0);
                         }});
    return files;
}
