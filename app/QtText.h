// The one place where 8-bit ANSI text meets Qt's Unicode strings.
#pragma once

#include <QString>
#include <string>

QString ToQt(const std::string& ansi);
std::string FromQt(const QString& text);
// True when every character has its counterpart in the code page.
bool FitsCodePage(const QString& text);
