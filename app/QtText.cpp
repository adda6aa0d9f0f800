#include "app/QtText.h"

#include "platform/CodePage.h"

QString ToQt(const std::string& ansi) { return QString::fromStdString(AnsiToUtf8(ansi)); }

std::string FromQt(const QString& text) { return Utf8ToAnsi(text.toStdString()); }
