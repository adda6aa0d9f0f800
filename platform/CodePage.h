// Conversions between the ANSI code page and UTF-8, used only where text
// crosses to Unicode (window, Simple MAPI provider, registry file, file
// names and hand-offs to the desktop).
#pragma once

#include <optional>
#include <string>

std::string AnsiToUtf8(const std::string& ansi);
// Characters the code page lacks become "?".
std::string Utf8ToAnsi(const std::string& utf8);
// Same, with an explicit iconv code page name ("CP1252").
std::string ConvertCodePage(const std::string& text, const std::string& from, const std::string& to);
// Nothing replaced: empty when a character has no counterpart in `to` or
// the text is not valid in `from`.
std::optional<std::string> ConvertCodePageExactly(const std::string& text, const std::string& from,
                                                  const std::string& to);
