// Linux names are UTF-8 bytes; the program's text is in the ANSI code page.
#include "platform/FileName.h"

#include <sys/stat.h>

#include "platform/CodePage.h"
#include "platform/Locale.h"

std::string SystemFileName(const std::string& ansi) {
    auto name = ConvertCodePageExactly(ansi, AnsiCodePageName(), "UTF-8");
    if (!name)
        throw EFileNameError(Format("Il nome del file \"%s\" non \xE8 valido nella code page %d.", ansi.c_str(),
                                    AnsiCodePage()));
    return *name;
}

std::string AnsiFileName(const std::string& utf8) {
    auto name = ConvertCodePageExactly(utf8, "UTF-8", AnsiCodePageName());
    if (!name)
        throw EFileNameError(Format("Il nome del file \"%s\" contiene caratteri che la code page %d non ha.",
                                    Utf8ToAnsi(utf8).c_str(), AnsiCodePage()));
    return *name;
}

std::string BaseFileName(const std::string& path) { return path.substr(path.find_last_of('/') + 1); }

bool SystemFileExists(const std::string& systemName) {
    if (systemName.empty()) return false;
    struct stat st {};
    return ::stat(systemName.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}
