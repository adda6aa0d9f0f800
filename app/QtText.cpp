#include "app/QtText.h"

#include "platform/CodePage.h"
#include "platform/Locale.h"

QString ToQt(const std::string& ansi) { return QString::fromStdString(AnsiToUtf8(ansi)); }

std::string FromQt(const QString& text) { return Utf8ToAnsi(text.toStdString()); }

bool FitsCodePage(const QString& text) {
    return ConvertCodePageExactly(text.toStdString(), "UTF-8", AnsiCodePageName()).has_value();
}
