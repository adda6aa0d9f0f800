// Conversions between the ANSI code page and UTF-8, used only where text
// crosses to Unicode (window, Simple MAPI provider, registry file).
#pragma once

#include <string>

std::string AnsiToUtf8(const std::string& ansi);
// Characters the code page lacks become "?".
std::string Utf8ToAnsi(const std::string& utf8);
// Same, with an explicit iconv code page name ("CP1252").
std::string ConvertCodePage(const std::string& text, const std::string& from, const std::string& to);
// Without replacement: false when some character of text has no place in
// the target code page (or text is not valid in the source one).
bool TryConvertCodePage(const std::string& text, const std::string& from, const std::string& to, std::string& out);
