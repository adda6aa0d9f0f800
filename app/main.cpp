#include <QApplication>
#include <QMessageBox>
#include <cstdio>
#include <cstring>

#include "app/AppVersion.h"
#include "app/ErrorDisplay.h"
#include "app/QtText.h"
#include "app/UnitMailSortello.h"
#include "platform/Process.h"

namespace {
bool AskedForVersion(int argc, char** argv) {
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--version") == 0) return true;
    return false;
}
}  // namespace

int main(int argc, char** argv) {
    DisableCoreDumps();
    if (AskedForVersion(argc, argv)) {
        std::printf("mailsortello %s (product version %s)\n", AppFileVersion, AppProductVersion);
        return 0;
    }
    QApplication application(argc, argv);
    QApplication::setApplicationName(AppTitle);
    QApplication::setApplicationVersion(AppFileVersion);
    SetErrorDisplay([](const std::string& message) {
        QMessageBox::critical(QApplication::activeWindow(), AppTitle, ToQt(message));
    });
    TFormMailSortello form;
    form.show();
    return application.exec();
}
