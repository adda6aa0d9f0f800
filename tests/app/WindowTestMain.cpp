// gtest inside a QApplication on the offscreen platform.
#include <QApplication>
#include <QString>
#include <cstdlib>
#include <gtest/gtest.h>

namespace {
QtMessageHandler gDefaultHandler = nullptr;

// The offscreen platform warns, at moments of its own choosing, about window
// features it lacks; on standard error that would land inside the trace the
// tests capture there. Every other message goes out as usual.
void DropOffscreenNotes(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (message.startsWith(QStringLiteral("This plugin does not support"))) return;
    if (gDefaultHandler) gDefaultHandler(type, context, message);
}
}  // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    gDefaultHandler = qInstallMessageHandler(DropOffscreenNotes);
    QApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
