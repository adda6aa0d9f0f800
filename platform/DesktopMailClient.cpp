#include "platform/DesktopMailClient.h"

#include <cstdlib>
#include <fstream>
#include <vector>

#include "core/StringList.h"
#include "platform/FileName.h"
#include "platform/Process.h"

namespace {

// A stuck helper must not freeze the window for long.
const int kQueryTimeoutMs = 3000;

std::vector<std::string> DataFolders() {
    std::vector<std::string> folders;
    const char* home = std::getenv("XDG_DATA_HOME");
    const char* user = std::getenv("HOME");
    if (home && *home)
        folders.push_back(home);
    else if (user && *user)
        folders.push_back(std::string(user) + "/.local/share");
    const char* dirs = std::getenv("XDG_DATA_DIRS");
    std::string list = dirs && *dirs ? dirs : "/usr/local/share:/usr/share";
    size_t start = 0;
    while (start <= list.size()) {
        size_t end = list.find(':', start);
        if (end == std::string::npos) end = list.size();
        if (end > start) folders.push_back(list.substr(start, end - start));
        start = end + 1;
    }
    return folders;
}

// The untranslated Name= of the [Desktop Entry] group.
std::string DesktopEntryName(const std::string& path) {
    std::ifstream in(path);
    std::string line;
    bool inEntry = false;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!line.empty() && line[0] == '[') inEntry = line == "[Desktop Entry]";
        else if (inEntry && line.compare(0, 5, "Name=") == 0) return Trim(line.substr(5));
    }
    return "";
}

// Desktop file ids map "-" to a subfolder ("kde-foo.desktop" may be
// applications/kde/foo.desktop).
std::vector<std::string> CandidateNames(const std::string& id) {
    std::vector<std::string> names{id};
    for (size_t dash = id.find('-'); dash != std::string::npos; dash = id.find('-', dash + 1)) {
        std::string nested = id;
        nested[dash] = '/';
        names.push_back(nested);
    }
    return names;
}

}  // namespace

std::string DesktopMailClientName() {
    std::string answer;
    if (RunProgram({"xdg-mime", "query", "default", "x-scheme-handler/mailto"}, &answer, kQueryTimeoutMs) != 0)
        return "";
    const std::string id = Trim(answer.substr(0, answer.find('\n')));
    if (id.empty() || id.find("..") != std::string::npos || id[0] == '/') return "";
    for (const auto& folder : DataFolders()) {
        for (const auto& name : CandidateNames(id)) {
            const std::string path = folder + "/applications/" + name;
            if (SystemFileExists(path)) return DesktopEntryName(path);
        }
    }
    return "";
}
