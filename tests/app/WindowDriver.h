// Drives the window through its components by name, and captures the trace
// (standard error) of what it does.
#pragma once

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <cstdio>
#include <fcntl.h>
#include <string>
#include <unistd.h>
#include <vector>

#include "app/QtWidgets.h"
#include "app/UnitMailSortello.h"

class TWindowDriver {
public:
    explicit TWindowDriver(TFormMailSortello& window) : window_(window) {}

    void SetText(const char* name, const QString& text) {
        QWidget* widget = window_.findChild<QWidget*>(name);
        if (auto* file = dynamic_cast<TFileNameEdit*>(widget))
            file->SetText(text);
        else if (auto* memo = dynamic_cast<QPlainTextEdit*>(widget))
            memo->setPlainText(text);
        else
            static_cast<QLineEdit*>(widget)->setText(text);
    }
    void SetItem(const char* name, int index) { window_.findChild<TRadioGroup*>(name)->SetItemIndex(index); }
    // 0 MAPI, 1 SMTP, 2 SMTP with encryption, 3 mailto.
    void SelectTab(int index) { QTest::mouseClick(window_.PageControl()->TabButton(index), Qt::LeftButton); }
    // Click, then wait until the action, which runs off the GUI thread,
    // has ended and its log lines are in the memo.
    void Connetti() {
        window_.actConnetti()->trigger();
        WaitIdle();
    }
    void InviaMail() {
        window_.actInviaMail()->trigger();
        WaitIdle();
    }
    // False when the action still runs after `ms`.
    bool WaitIdle(int ms = 60000) {
        QElapsedTimer clock;
        clock.start();
        while (window_.ActionRunning() && clock.elapsed() < ms)
            QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 10);
        QCoreApplication::processEvents();
        return !window_.ActionRunning();
    }

    // The memo's lines.
    std::vector<std::string> Log() const {
        std::vector<std::string> lines;
        for (const QString& line : window_.findChild<QPlainTextEdit*>("Memo")->toPlainText().split('\n'))
            lines.push_back(line.toStdString());
        if (lines.size() == 1 && lines[0].empty()) lines.clear();
        return lines;
    }

private:
    TFormMailSortello& window_;
};

// Sends standard error to a file while alive; Text() reads what came.
class TStderrCapture {
public:
    TStderrCapture() {
        std::fflush(stderr);
        char pattern[] = "/tmp/mailsortello-trace-XXXXXX";
        fd_ = mkstemp(pattern);
        path_ = pattern;
        saved_ = dup(STDERR_FILENO);
        dup2(fd_, STDERR_FILENO);
    }
    ~TStderrCapture() {
        Restore();
        close(fd_);
        unlink(path_.c_str());
    }
    void Restore() {
        if (saved_ < 0) return;
        std::fflush(stderr);
        dup2(saved_, STDERR_FILENO);
        close(saved_);
        saved_ = -1;
    }
    std::vector<std::string> Lines() const {
        std::vector<std::string> lines;
        std::string text;
        char buffer[4096];
        ssize_t n;
        off_t offset = 0;
        while ((n = pread(fd_, buffer, sizeof buffer, offset)) > 0) {
            text.append(buffer, static_cast<size_t>(n));
            offset += n;
        }
        size_t start = 0, end;
        while ((end = text.find('\n', start)) != std::string::npos) {
            lines.push_back(text.substr(start, end - start));
            start = end + 1;
        }
        return lines;
    }

private:
    int fd_ = -1;
    int saved_ = -1;
    std::string path_;
};
