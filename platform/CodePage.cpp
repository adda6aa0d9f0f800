#include "platform/CodePage.h"

#include "platform/Locale.h"

std::string AnsiToUtf8(const std::string& ansi) { return ConvertCodePage(ansi, AnsiCodePageName(), "UTF-8"); }

std::string Utf8ToAnsi(const std::string& utf8) { return ConvertCodePage(utf8, "UTF-8", AnsiCodePageName()); }
