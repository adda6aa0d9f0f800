// The window's actions off the GUI thread: the event loop keeps answering
// during a slow send, a second action is refused while one runs, closing
// the window ends a running action at once and still saves the settings,
// the progress area shows only while bytes go out, and what escapes an
// action reaches the error display on the GUI thread.
#include <QAction>
#include <QElapsedTimer>
#include <QLabel>
#include <QProgressBar>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <fstream>

#include "tests/app/WindowDriver.h"
#include "tests/app/WindowFixture.h"
#include "tests/support/ScriptedSmtpServer.h"
#include "tests/support/SilentListener.h"
#include "tests/support/SlowSmtpServer.h"

namespace {

// More than the system buffers on both sides take at once (some 4 MB on
// loopback), so that the client keeps sending for about two seconds.
constexpr int kAttachmentBytes = 12 << 20;
constexpr int kServerBytesPerSecond = 6 << 20;

// Ticks every 10 ms while alive and keeps the longest gap between two
// ticks, and what the progress area showed at each tick.
class TEventLoopProbe {
public:
    explicit TEventLoopProbe(QWidget& window) : window_(window) {
        clock_.start();
        timer_.setInterval(10);
        timer_.setTimerType(Qt::PreciseTimer);
        QObject::connect(&timer_, &QTimer::timeout, [this] { Tick(); });
        timer_.start();
    }
    qint64 LongestGapMs() const { return longest_; }
    bool SawProgress() const { return !progressTexts_.empty(); }
    const std::vector<std::string>& ProgressTexts() const { return progressTexts_; }

private:
    void Tick() {
        const qint64 now = clock_.elapsed();
        longest_ = std::max(longest_, now - last_);
        last_ = now;
        auto* status = window_.findChild<QWidget*>("pnlStato");
        if (status != nullptr && status->isVisible()) {
            const std::string text = window_.findChild<QLabel*>("lblProgresso")->text().toStdString();
            if (progressTexts_.empty() || progressTexts_.back() != text) progressTexts_.push_back(text);
        }
    }

    QWidget& window_;
    QTimer timer_;
    QElapsedTimer clock_;
    qint64 last_ = 0;
    qint64 longest_ = 0;
    std::vector<std::string> progressTexts_;
};

bool Contains(const std::vector<std::string>& lines, const std::string& line) {
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

}  // namespace

class ActionRunnerTest : public WindowFixture {
protected:
    // The plain SMTP tab towards 127.0.0.1:port, no login.
    TWindowDriver& Fill(int port, const std::string& attachment = {}) {
        driver_ = std::make_unique<TWindowDriver>(OpenWindow());
        TWindowDriver& d = *driver_;
        d.SelectTab(1);
        d.SetText("edtHost_smtp", "127.0.0.1");
        d.SetText("edtPort_smtp", QString::number(port));
        d.SetItem("edtAuthType_smtp", 0);
        d.SetText("edtSender", "tecnico@sortello.test");
        d.SetText("edtRecipients", "ufficio@sortello.test");
        d.SetText("edtSubject", "Prova lenta");
        d.SetText("edtBody", "Corpo.");
        d.SetText("edtAttachFile1", QString::fromStdString(attachment));
        return d;
    }
    std::string BigAttachment() const {
        const std::string path = root_ + "/grande.bin";
        std::string bytes(kAttachmentBytes, '\0');
        for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 131 % 251);
        std::ofstream(path, std::ios::binary) << bytes;
        return path;
    }
    // Events for `ms` milliseconds.
    static void Spin(int ms) {
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < ms) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    void TearDown() override {
        driver_.reset();
        WindowFixture::TearDown();
    }
    std::unique_ptr<TWindowDriver> driver_;
};

TEST_F(ActionRunnerTest, DuringASlowSendTheEventLoopAnswersWithinATenthOfASecondAndProgressShows) {
    TSlowSmtpServer server(kServerBytesPerSecond);
    TWindowDriver& d = Fill(server.Port(), BigAttachment());
    auto* status = Find<QWidget>("pnlStato");
    EXPECT_FALSE(status->isVisible());
    TEventLoopProbe probe(*window_);
    window_->actInviaMail()->trigger();
    EXPECT_FALSE(window_->actConnetti()->isEnabled());
    EXPECT_FALSE(window_->actInviaMail()->isEnabled());
    EXPECT_TRUE(window_->actChiudi()->isEnabled());
    ASSERT_TRUE(d.WaitIdle());
    server.Join();

    EXPECT_TRUE(server.MessageEnded());
    EXPECT_GT(server.MessageBytes(), static_cast<size_t>(kAttachmentBytes));
    EXPECT_LT(probe.LongestGapMs(), 100);
    const std::vector<std::string> log = d.Log();
    EXPECT_TRUE(Contains(log, "> Inviato.")) << testing::PrintToString(log);
    // The log lines came as they happened, in the order of the actions.
    const auto before = std::find(log.begin(), log.end(), "idSMTP.Send - prima...");
    const auto after = std::find(log.begin(), log.end(), "idSMTP.Send - ...dopo");
    EXPECT_LT(before, after);
    EXPECT_TRUE(errors_.empty()) << testing::PrintToString(errors_);

    // Several states while the bytes went out, against the estimate, and
    // nothing of them once the send is over.
    const std::vector<std::string>& texts = probe.ProgressTexts();
    ASSERT_GE(texts.size(), 3u) << testing::PrintToString(texts);
    EXPECT_NE(texts.back().find(" di circa 16,"), std::string::npos) << texts.back();
    EXPECT_NE(texts.back().find(" MB/s"), std::string::npos) << texts.back();
    EXPECT_FALSE(status->isVisible());
    EXPECT_TRUE(window_->actConnetti()->isEnabled());
    EXPECT_TRUE(window_->actInviaMail()->isEnabled());
}

TEST_F(ActionRunnerTest, SecondActionIsRefusedWhileOneRuns) {
    TScriptedSmtpServer server(
        TScriptedSmtpServer::TScript{"PAUSE: 500", "S: 220 mx.test ESMTP", "C: EHLO Telvara", "S: 250 mx.test"});
    TWindowDriver& d = Fill(server.Port());
    window_->actConnetti()->trigger();
    ASSERT_TRUE(window_->ActionRunning());
    EXPECT_FALSE(window_->actConnetti()->isEnabled());
    EXPECT_FALSE(window_->actInviaMail()->isEnabled());
    // Disabled actions do nothing; a direct call is answered in the log.
    window_->actInviaMail()->trigger();
    window_->actInviaMailExecute();
    window_->actConnettiExecute();
    // A tab change meanwhile does not reach the fields the action reads.
    d.SelectTab(3);
    EXPECT_FALSE(window_->actInviaMail()->isEnabled());
    d.SelectTab(1);
    ASSERT_TRUE(d.WaitIdle());

    const std::vector<std::string> log = d.Log();
    const std::string refusal = "Operazione in corso: attendere che finisca prima di avviarne un'altra.";
    EXPECT_EQ(std::count(log.begin(), log.end(), refusal), 2) << testing::PrintToString(log);
    EXPECT_EQ(log.back(), "Connesso.");
    EXPECT_EQ(server.Connections(), 1);
    EXPECT_TRUE(window_->actConnetti()->isEnabled());
    CloseWindow();  // the server waits for the session to end
}

// The connect waits for a handshake that never comes (3 s time-out); the
// close must not wait for it.
TEST_F(ActionRunnerTest, ClosingDuringAConnectEndsItAtOnceAndSavesTheSettings) {
    TSilentListener silent;
    if (!silent.Full()) GTEST_SKIP() << "the accept queue could not be filled";
    TWindowDriver& d = Fill(silent.Port());
    d.SetText("edtSubject", "Da salvare");
    window_->actConnetti()->trigger();
    Spin(100);
    ASSERT_TRUE(window_->ActionRunning());
    QElapsedTimer clock;
    clock.start();
    CloseWindow();
    EXPECT_LT(clock.elapsed(), 1000);
    EXPECT_EQ(Stored(Section, "edtSubject_Text"), "Da salvare");
    EXPECT_EQ(Stored(Section, "edtPort_smtp_Text"), std::to_string(silent.Port()));
    EXPECT_TRUE(errors_.empty()) << testing::PrintToString(errors_);
}

TEST_F(ActionRunnerTest, ClosingDuringASlowSendClosesTheConnection) {
    TSlowSmtpServer server(kServerBytesPerSecond / 4);
    Fill(server.Port(), BigAttachment());
    window_->actInviaMail()->trigger();
    QElapsedTimer wait;
    wait.start();
    while (server.MessageBytes() == 0 && wait.elapsed() < 10000) Spin(10);
    ASSERT_GT(server.MessageBytes(), 0u);
    QElapsedTimer clock;
    clock.start();
    CloseWindow();
    EXPECT_LT(clock.elapsed(), 1000);
    // The server's read ends with the connection, not with the message.
    server.Join();
    EXPECT_FALSE(server.MessageEnded());
    EXPECT_EQ(Stored(Section, "edtSubject_Text"), "Prova lenta");
}

TEST_F(ActionRunnerTest, WhatEscapesTheActionReachesTheErrorDisplayOnTheGuiThread) {
    TScriptedSmtpServer server(TScriptedSmtpServer::TScript{"S: 220 mx.test ESMTP", "C: EHLO Telvara",
                                                            "S: 250 mx.test"});
    TWindowDriver& d = Fill(server.Port(), root_ + "/sparito.bin");
    std::vector<bool> onGuiThread;
    SetErrorDisplay([&](const std::string& message) {
        errors_.push_back(message);
        onGuiThread.push_back(QThread::currentThread() == qApp->thread());
    });
    d.InviaMail();
    ASSERT_EQ(errors_.size(), 1u);
    EXPECT_NE(errors_[0].find("sparito.bin"), std::string::npos) << errors_[0];
    EXPECT_TRUE(onGuiThread[0]);
    EXPECT_EQ(d.Log().back(), "Copia conoscenza: ");
    EXPECT_TRUE(window_->actInviaMail()->isEnabled());
    CloseWindow();
}
