// The main window: every control named after its component, the tool bar
// bound to the three actions, and the bridge between the widgets and the
// toolkit-free field model (app/FieldModel.h) on which the actions, the
// log and the settings work.
#pragma once

#include <QWidget>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "app/ActivityLog.h"
#include "app/MailSortelloActions.h"

class QAction;
class QLabel;
class QProgressBar;
class QLineEdit;
class QPlainTextEdit;
class QSplitter;
class QToolBar;
class TFormStorage;
class TPageControl;
class TQtPlacementHost;
class TRegistrySettingsStore;
class TActionRunner;
class TGuiMailbox;
class TSendProgress;
struct TSendProgressState;

class TFormMailSortello : public QWidget, private TLogSink {
public:
    explicit TFormMailSortello(QWidget* parent = nullptr);
    ~TFormMailSortello() override;

    // Handlers of the window.
    void FormCreate();
    void FormShow();
    void PageControlChange();
    void actChiudiExecute();
    void actConnettiExecute();
    void actInviaMailExecute();

    TMailSortelloActions& Actions() { return actions_; }
    QAction* actConnetti() const { return actConnetti_; }
    QAction* actInviaMail() const { return actInviaMail_; }
    QAction* actChiudi() const { return actChiudi_; }
    TPageControl* PageControl() const { return pageControl_; }
    TFormStorage& FormStorage1() { return *formStorage_; }
    // An action is running on its worker thread.
    bool ActionRunning() const;

    // Copies between the widgets and Actions().Fields(); not while an
    // action runs, whose worker reads the fields.
    void WidgetsToModel();
    void ModelToWidgets();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void AppendLogLine(const std::string& line) override;
    void LogCleared() override;

    void BuildLayout();
    QWidget* BuildCredentials(QWidget* parent);
    QWidget* BuildPageControl(QWidget* parent);
    void BuildSmtpSheet(QWidget* sheet);
    void BuildSmtpCriptSheet(QWidget* sheet);
    void BuildMapiSheet(QWidget* sheet);
    QWidget* BuildMessage(QWidget* parent);
    QWidget* BuildBottom(QWidget* parent);
    QWidget* BuildStatus(QWidget* parent);
    void BuildActions();
    QToolBar* BuildToolBar(QWidget* parent);
    void ChainTabOrder();
    void CentreOnScreen();
    void RunAction(void (TMailSortelloActions::*action)());
    void StartAction(void (TMailSortelloActions::*action)());
    void ActionDone(std::exception_ptr error);
    bool RefusedWhileRunning();
    void EnableActions();
    void FlushLog();
    void ShowProgress(const TSendProgressState& state);
    void CheckTypedTextFits() const;
    void RestoreSettings();
    void SaveSettings(bool visible);

    TMailSortelloActions actions_;
    TPageControl* pageControl_ = nullptr;
    QPlainTextEdit* memo_ = nullptr;
    QWidget* status_ = nullptr;
    QProgressBar* progressBar_ = nullptr;
    QLabel* progressText_ = nullptr;
    QAction* actConnetti_ = nullptr;
    QAction* actInviaMail_ = nullptr;
    QAction* actChiudi_ = nullptr;
    std::unique_ptr<TRegistrySettingsStore> settingsStore_;
    std::unique_ptr<TQtPlacementHost> placementHost_;
    std::unique_ptr<TFormStorage> formStorage_;
    bool shown_ = false;
    bool saveTried_ = false;
    // Log lines from the worker wait here for one queued flush, so that a
    // burst of lines costs the GUI thread one append.
    std::mutex pendingLock_;
    std::vector<std::string> pendingLines_;
    std::unique_ptr<TSendProgress> progress_;
    std::unique_ptr<TGuiMailbox> mailbox_;
    // Last: stopped first, before anything its action uses goes away.
    std::unique_ptr<TActionRunner> runner_;
};
