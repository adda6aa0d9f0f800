#include "app/UnitMailSortello.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QScrollArea>
#include <QSplitter>
#include <QThread>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

#include "app/ActionRunner.h"
#include "app/ErrorDisplay.h"
#include "app/FormStorage.h"
#include "app/GuiMailbox.h"
#include "app/RegistrySettingsStore.h"
#include "app/SendProgress.h"
#include "app/QtText.h"
#include "app/QtWidgets.h"
#include "app/ToolBarImages.h"
#include "platform/Locale.h"

namespace {

// Often enough to look alive, seldom enough to cost the GUI thread nothing.
constexpr uint64_t ProgressIntervalMs = 100;

const QStringList AuthItems = {"None", "Default", "SASL"};
const QStringList BoolItems = {"False (no)", "True (si)"};

// Records the designed tab order and tab stop on a control, so that the
// layout can be checked against its description.
template <class W>
W* Designed(W* widget, const char* name, int tabOrder, bool tabStop = true) {
    widget->setObjectName(name);
    widget->setProperty("TabOrder", tabOrder);
    widget->setProperty("TabStop", tabStop);
    if (!tabStop) widget->setFocusPolicy(Qt::NoFocus);
    return widget;
}

QLabel* AddLabel(QWidget* parent, const char* name, const QString& text, int y) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(name);
    label->move(16, y);
    label->adjustSize();
    return label;
}

QLineEdit* AddEdit(QWidget* parent, const char* name, int tabOrder, int y, int width = 150) {
    auto* edit = Designed(new QLineEdit(parent), name, tabOrder);
    edit->setGeometry(120, y, width, 21);
    return edit;
}

QLineEdit* AddHint(QWidget* parent, const char* name, const QString& text, int tabOrder, int y) {
    auto* hint = Designed(MakeHintField(text, parent), name, tabOrder, false);
    hint->setGeometry(288, y, 209, 21);
    return hint;
}

TRadioGroup* AddRadio(QWidget* parent, const char* name, const QString& caption, const QStringList& items,
                      int columns, int itemIndex, int tabOrder, QRect geometry) {
    auto* group = Designed(new TRadioGroup(caption, items, columns, parent), name, tabOrder);
    group->setGeometry(geometry);
    group->SetItemIndex(itemIndex);
    return group;
}

QPlainTextEdit* AddMemo(QWidget* parent, const char* name, int tabOrder, QRect geometry) {
    auto* memo = Designed(new QPlainTextEdit(parent), name, tabOrder);
    memo->setGeometry(geometry);
    memo->setLineWrapMode(QPlainTextEdit::NoWrap);
    memo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    memo->setTabChangesFocus(true);
    return memo;
}

TFileNameEdit* AddFileName(QWidget* parent, const char* name, int tabOrder, int y) {
    auto* edit = Designed(new TFileNameEdit(parent), name, tabOrder);
    edit->setGeometry(120, y, 353, 21);
    return edit;
}

// A memo's lines: every line of the control except a last empty one, so
// that the text of a list (every line followed by a break) comes back as
// the same list.
// A block of the column: a fixed-size container that only passes focus on.
QWidget* AddBlock(QWidget* parent, const char* name, int tabOrder, QSize size) {
    auto* block = Designed(new QWidget(parent), name, tabOrder);
    block->setFixedSize(size);
    block->setFocusPolicy(Qt::NoFocus);
    return block;
}

TStringList MemoLines(const QPlainTextEdit* memo) {
    QStringList parts = memo->toPlainText().split('\n');
    if (!parts.isEmpty() && parts.last().isEmpty()) parts.removeLast();
    TStringList lines;
    for (const QString& part : parts) lines.Add(FromQt(part));
    return lines;
}

// The text of a one-line field: a plain edit or a file name edit.
QString LineText(const QWidget* widget) {
    if (auto* file = dynamic_cast<const TFileNameEdit*>(widget)) return file->Text();
    return static_cast<const QLineEdit*>(widget)->text();
}

QString LinesText(const TStringList& lines) {
    QString text;
    for (const std::string& line : lines) text += ToQt(line) + '\n';
    return text;
}

}  // namespace

// The window's placement as the settings see it: the normal rectangle of
// the window's client area in screen coordinates.
class TQtPlacementHost : public TPlacementHost {
public:
    explicit TQtPlacementHost(QWidget& window) : window_(window) {}

    TFormPlacement Placement() const override {
        TFormPlacement placement;
        const QRect rect = window_.isMaximized() || window_.isMinimized() ? window_.normalGeometry() : window_.geometry();
        placement.ShowCmd = window_.isMaximized() ? 3 : (window_.isMinimized() ? 2 : 1);
        placement.Left = rect.left();
        placement.Top = rect.top();
        placement.Right = rect.left() + rect.width();
        placement.Bottom = rect.top() + rect.height();
        return placement;
    }
    void ApplyPlacement(const TFormPlacement& p) override {
        window_.setGeometry(p.Left, p.Top, p.Right - p.Left, p.Bottom - p.Top);
    }
    void ApplyShowState(TWindowShowState state) override {
        if (state == TWindowShowState::Maximized) window_.setWindowState(Qt::WindowMaximized);
        // The window is the whole application: minimizing it minimizes the application.
        if (state == TWindowShowState::Minimized) window_.setWindowState(Qt::WindowMinimized);
    }
    bool ApplicationMinimized() const override { return window_.isMinimized(); }
    int ScreenWidth() const override { return Screen() ? Screen()->geometry().width() : 0; }
    int ScreenHeight() const override { return Screen() ? Screen()->geometry().height() : 0; }
    int PixelsPerInch() const override { return Screen() ? qRound(Screen()->logicalDotsPerInch()) : 96; }

private:
    QScreen* Screen() const { return window_.screen() ? window_.screen() : QGuiApplication::primaryScreen(); }
    QWidget& window_;
};

TFormMailSortello::TFormMailSortello(QWidget* parent) : QWidget(parent), actions_(this) {
    InitializeApplicationFont();
    setObjectName("FormMailSortello");
    setWindowTitle("TelVara - Sortello e-mail");
    setFont(QApplication::font());
    setAutoFillBackground(true);
    setBackgroundRole(QPalette::Button);
    BuildActions();
    BuildLayout();
    ChainTabOrder();
    resize(677, 772);
    CentreOnScreen();
    settingsStore_ = std::make_unique<TRegistrySettingsStore>();
    placementHost_ = std::make_unique<TQtPlacementHost>(*this);
    formStorage_ = std::make_unique<TFormStorage>(actions_.Fields(), *settingsStore_, *placementHost_);
    auto* storage = new QObject(this);
    storage->setObjectName("FormStorage1");
    mailbox_ = std::make_unique<TGuiMailbox>(this);
    progress_ = std::make_unique<TSendProgress>(
        [this](const TSendProgressState& state) { mailbox_->Post([this, state] { ShowProgress(state); }); },
        ProgressIntervalMs);
    actions_.SetSendProgress(progress_.get());
    runner_ = std::make_unique<TActionRunner>(*mailbox_);
    FormCreate();
}

TFormMailSortello::~TFormMailSortello() {
    runner_->Stop();
    // A save that failed at the close has been reported once already.
    if (!formStorage_->Saved() && !saveTried_) SaveSettings(true);
}

void TFormMailSortello::RestoreSettings() {
    WidgetsToModel();
    std::exception_ptr error;
    try {
        formStorage_->Restore();
    } catch (...) {
        error = std::current_exception();
    }
    ModelToWidgets();
    // The user would otherwise find the last set-up gone without a word.
    if (!settingsStore_->Problem().empty())
        actions_.Log().LogLine("Impostazioni salvate non lette: " + settingsStore_->Problem());
    if (error) RunGuarded([error] { std::rethrow_exception(error); });
}

void TFormMailSortello::SaveSettings(bool visible) {
    saveTried_ = true;
    RunGuarded([this, visible] {
        WidgetsToModel();
        formStorage_->Save(visible);
    });
}

void TFormMailSortello::CentreOnScreen() {
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        move(area.center() - QPoint(width() / 2, height() / 2));
    }
}

void TFormMailSortello::BuildActions() {
    auto* actionList = new QObject(this);
    actionList->setObjectName("ActionList");
    auto* imageList = new QObject(this);
    imageList->setObjectName("ImageList");
    auto make = [actionList](const char* name, const char* caption, const char* hint, int image) {
        auto* action = new QAction(QIcon(QPixmap::fromImage(ToolBarImage(image))), caption, actionList);
        action->setObjectName(name);
        action->setToolTip(hint);
        action->setProperty("ImageIndex", image);
        return action;
    };
    actChiudi_ = make("actChiudi", "Chiudi", "Chiude il programma", 1);
    actConnetti_ = make("actConnetti", "Connetti", "Prova la connessione con il server", 0);
    actInviaMail_ = make("actInviaMail", "Invia mail", "Invia la mail ", 2);
    connect(actChiudi_, &QAction::triggered, this, [this] { actChiudiExecute(); });
    connect(actConnetti_, &QAction::triggered, this, [this] { actConnettiExecute(); });
    connect(actInviaMail_, &QAction::triggered, this, [this] { actInviaMailExecute(); });
}

void TFormMailSortello::BuildLayout() {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    auto* heading = new QLabel("TelVara - Programma per sortellare l'invio delle mail in varie modalità", this);
    heading->setObjectName("Label1");
    heading->setFixedHeight(13);
    layout->addWidget(heading);

    auto* splitter = new QSplitter(Qt::Vertical, this);
    splitter->setObjectName("Splitter");
    splitter->setHandleWidth(3);
    splitter->setChildrenCollapsible(false);
    splitter->setStyleSheet("QSplitter::handle { background: #a0a0a0; }");
    layout->addWidget(splitter, 1);

    auto* scroll = Designed(new QScrollArea(splitter), "ScrollBox2", 2);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setFocusPolicy(Qt::NoFocus);
    auto* column = new QWidget;
    column->setObjectName("JvPanel1");
    QWidget* panel1 = BuildCredentials(column);
    QWidget* pages = BuildPageControl(column);
    QWidget* panel2 = BuildMessage(column);
    int y = 0;
    for (QWidget* block : {panel1, pages, panel2}) {
        block->move(0, y);
        y += block->height();
    }
    column->setFixedSize(652, y);
    scroll->setWidget(column);
    splitter->addWidget(scroll);
    splitter->addWidget(BuildBottom(splitter));
    splitter->setStretchFactor(0, 1);
    splitter->setStretchFactor(1, 0);
    splitter->setSizes({772 - 13 - 3 - 175, 175});
}

QWidget* TFormMailSortello::BuildCredentials(QWidget* parent) {
    QWidget* panel = AddBlock(parent, "Panel1", 0, QSize(580, 64));
    AddLabel(panel, "Label2", "Utente", 8);
    AddEdit(panel, "edtUserName", 0, 4);
    AddLabel(panel, "Label3", "Password", 32);
    auto* password = Designed(MakePasswordEdit(panel), "edtPassword", 1);
    password->setGeometry(120, 28, 150, 21);
    return panel;
}

QWidget* TFormMailSortello::BuildPageControl(QWidget* parent) {
    pageControl_ = Designed(new TPageControl(parent), "PageControl", 1);
    pageControl_->setFixedSize(580, 214);
    pageControl_->setFocusPolicy(Qt::NoFocus);
    BuildMapiSheet(pageControl_->AddSheet(TabSheetMAPI, "  MAPI  "));
    BuildSmtpSheet(pageControl_->AddSheet(TabSheetSMTP, " SMTP senza crittografia "));
    BuildSmtpCriptSheet(pageControl_->AddSheet(TabSheetSmtpCript, " SMTP con crittografia    "));
    pageControl_->AddSheet(TabSheetMailto, "  mailto:  ");
    pageControl_->SetActivePage(pageControl_->findChild<QWidget*>(TabSheetSmtpCript));
    pageControl_->SetOnChange([this] { PageControlChange(); });
    return pageControl_;
}

void TFormMailSortello::BuildMapiSheet(QWidget* sheet) {
    AddRadio(sheet, "edtShowDialog_mapi", " Show dialog ", BoolItems, 2, 1, 0, QRect(120, 8, 209, 34));
    AddRadio(sheet, "edtUseAppHandle_mapi", " Use App Handle ", BoolItems, 2, 0, 1, QRect(120, 48, 209, 34));
}

void TFormMailSortello::BuildSmtpSheet(QWidget* sheet) {
    AddLabel(sheet, "Label10", "Host, server di invio", 12);
    AddEdit(sheet, "edtHost_smtp", 0, 8);
    AddHint(sheet, "Edit4", "es:  smtp.example.com", 1, 8);
    AddLabel(sheet, "Label11", "Porta", 36);
    AddEdit(sheet, "edtPort_smtp", 2, 32);
    AddHint(sheet, "Edit6", "es:  25", 3, 32);
    AddRadio(sheet, "edtAuthType_smtp", " Authentication Type ", AuthItems, 3, 1, 4, QRect(120, 60, 289, 34));
}

void TFormMailSortello::BuildSmtpCriptSheet(QWidget* sheet) {
    auto* layout = new QVBoxLayout(sheet);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* scroll = new QScrollArea(sheet);
    scroll->setObjectName("ScrollBox1");
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setFocusPolicy(Qt::NoFocus);
    layout->addWidget(scroll);
    auto* box = new QWidget;
    box->setFixedSize(570, 180);
    AddLabel(box, "Label4", "Host, server di invio", 12);
    AddEdit(box, "edtHost_smtpcript", 0, 8);
    AddHint(box, "Edit2", "es:  smtp.example.com  mail.example.org", 5, 8);
    AddLabel(box, "Label5", "Porta", 36);
    AddEdit(box, "edtPort_smtpcript", 1, 32);
    AddHint(box, "Edit3", "es:  465  587 ", 6, 32);
    AddRadio(box, "edtAuthType_smtpcript", " Authentication Type ", AuthItems, 3, 0, 2, QRect(120, 60, 289, 34));
    AddRadio(box, "edtMethod", " Method ", {"sslvSSLv2", "sslvSSLv23", "sslvSSLv3", "sslvTLSv1"}, 4, 2, 3,
             QRect(120, 98, 430, 34));
    AddRadio(box, "edtUseTLS", " Use TLS ", {"NoTLSSupport", "UseImplicitTLS", "UseRequireTLS", "UseExplicitTLS"}, 4,
             0, 4, QRect(120, 136, 430, 34));
    scroll->setWidget(box);
}

QWidget* TFormMailSortello::BuildMessage(QWidget* parent) {
    QWidget* panel = AddBlock(parent, "Panel2", 2, QSize(580, 261));
    AddLabel(panel, "Label9", "Mittente", 6);
    AddEdit(panel, "edtSender", 0, 2);
    AddLabel(panel, "Label8", "Destinatari", 26);
    AddMemo(panel, "edtRecipients", 1, QRect(120, 24, 350, 42));
    AddLabel(panel, "Label14", "Destinatari \nin copia conoscenza", 70);
    AddMemo(panel, "edtCCRecipients", 2, QRect(120, 68, 350, 42));
    AddLabel(panel, "Label6", "Oggetto", 116);
    AddEdit(panel, "edtSubject", 3, 112);
    AddLabel(panel, "Label7", "Corpo", 137);
    AddMemo(panel, "edtBody", 4, QRect(120, 135, 350, 50));
    AddLabel(panel, "Label12", "Allegato 1", 190);
    AddFileName(panel, "edtAttachFile1", 5, 186);
    AddLabel(panel, "Label13", "Allegato 2", 214);
    AddFileName(panel, "edtAttachFile2", 6, 210);
    return panel;
}

QWidget* TFormMailSortello::BuildBottom(QWidget* parent) {
    auto* panel = Designed(new QWidget(parent), "pnlSotto", 0);
    panel->setFocusPolicy(Qt::NoFocus);
    panel->setMinimumHeight(60);
    auto* layout = new QVBoxLayout(panel);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    memo_ = Designed(new QPlainTextEdit("Memo", panel), "Memo", 1, false);
    memo_->setReadOnly(true);
    memo_->setLineWrapMode(QPlainTextEdit::NoWrap);
    memo_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    memo_->setFocusPolicy(Qt::ClickFocus);
    layout->addWidget(memo_, 1);
    layout->addWidget(BuildStatus(panel));
    layout->addWidget(BuildToolBar(panel));
    return panel;
}

// Below the log: the progress of a send, shown only while bytes go out.
QWidget* TFormMailSortello::BuildStatus(QWidget* parent) {
    status_ = new QWidget(parent);
    status_->setObjectName("pnlStato");
    auto* layout = new QHBoxLayout(status_);
    layout->setContentsMargins(4, 2, 4, 2);
    progressBar_ = new QProgressBar(status_);
    progressBar_->setObjectName("ProgressBar");
    progressBar_->setRange(0, 1000);
    progressBar_->setTextVisible(false);
    progressBar_->setFixedWidth(200);
    progressText_ = new QLabel(status_);
    progressText_->setObjectName("lblProgresso");
    layout->addWidget(progressBar_);
    layout->addWidget(progressText_, 1);
    status_->hide();
    return status_;
}

void TFormMailSortello::ShowProgress(const TSendProgressState& state) {
    status_->setVisible(state.Active);
    if (!state.Active) return;
    progressBar_->setValue(state.Permille());
    progressText_->setText(ToQt(state.Text()));
}

QToolBar* TFormMailSortello::BuildToolBar(QWidget* parent) {
    auto* bar = new QToolBar(parent);
    bar->setObjectName("ToolBar");
    bar->setIconSize(QSize(32, 32));
    bar->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    bar->setMovable(false);
    bar->setFloatable(false);
    bar->setContentsMargins(2, 2, 2, 2);
    auto separator = [bar](const char* name) {
        auto* gap = new QWidget(bar);
        gap->setObjectName(name);
        gap->setFixedWidth(8);
        bar->addWidget(gap);
    };
    auto button = [bar](const char* name, QAction* action) {
        auto* tool = new QToolButton(bar);
        tool->setObjectName(name);
        tool->setDefaultAction(action);
        tool->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
        tool->setIconSize(QSize(32, 32));
        tool->setAutoRaise(true);
        tool->setFixedSize(88, 38);
        tool->setFocusPolicy(Qt::NoFocus);
        bar->addWidget(tool);
    };
    separator("ToolButton7");
    button("ToolButton6", actConnetti_);
    separator("ToolButton4");
    button("ToolButton2", actInviaMail_);
    separator("ToolButton3");
    button("ToolButton1", actChiudi_);
    separator("ToolButton5");
    return bar;
}

void TFormMailSortello::ChainTabOrder() {
    // Panel1, then the tab buttons and the controls of every sheet, then
    // Panel2; inside a block the designed order, hint fields left out.
    const char* const order[] = {
        "edtUserName", "edtPassword", "edtShowDialog_mapi", "edtUseAppHandle_mapi", "edtHost_smtp",
        "edtPort_smtp", "edtAuthType_smtp", "edtHost_smtpcript", "edtPort_smtpcript", "edtAuthType_smtpcript",
        "edtMethod", "edtUseTLS", "edtSender", "edtRecipients", "edtCCRecipients", "edtSubject", "edtBody",
        "edtAttachFile1", "edtAttachFile2"};
    std::vector<QWidget*> chain;
    for (const char* name : order) {
        QWidget* widget = findChild<QWidget*>(name);
        if (name == std::string("edtShowDialog_mapi"))
            for (int i = 0; i < pageControl_->PageCount(); ++i) chain.push_back(pageControl_->TabButton(i));
        if (auto* group = dynamic_cast<TRadioGroup*>(widget))
            for (QRadioButton* radio : group->Buttons()) chain.push_back(radio);
        else if (auto* file = dynamic_cast<TFileNameEdit*>(widget))
            chain.push_back(file->Edit());
        else
            chain.push_back(widget);
    }
    for (size_t i = 1; i < chain.size(); ++i) setTabOrder(chain[i - 1], chain[i]);
}

void TFormMailSortello::WidgetsToModel() {
    TFieldModel& fields = actions_.Fields();
    for (const std::string& name : fields.FieldNames()) {
        QWidget* widget = findChild<QWidget*>(QString::fromStdString(name));
        switch (fields.Kind(name)) {
            case TFieldKind::Text: fields.SetText(name, FromQt(LineText(widget))); break;
            case TFieldKind::Lines: fields.SetLines(name, MemoLines(static_cast<QPlainTextEdit*>(widget))); break;
            case TFieldKind::ItemIndex: fields.SetItemIndex(name, static_cast<TRadioGroup*>(widget)->ItemIndex()); break;
            case TFieldKind::ActivePage: {
                QWidget* page = pageControl_->ActivePage();
                fields.SetActivePage(page ? page->objectName().toStdString() : std::string());
                break;
            }
        }
    }
}

void TFormMailSortello::ModelToWidgets() {
    const TFieldModel& fields = actions_.Fields();
    for (const std::string& name : fields.FieldNames()) {
        QWidget* widget = findChild<QWidget*>(QString::fromStdString(name));
        switch (fields.Kind(name)) {
            case TFieldKind::Text:
                if (auto* file = dynamic_cast<TFileNameEdit*>(widget))
                    file->SetText(ToQt(fields.Text(name)));
                else
                    static_cast<QLineEdit*>(widget)->setText(ToQt(fields.Text(name)));
                break;
            case TFieldKind::Lines:
                static_cast<QPlainTextEdit*>(widget)->setPlainText(LinesText(fields.Lines(name)));
                break;
            case TFieldKind::ItemIndex: static_cast<TRadioGroup*>(widget)->SetItemIndex(fields.ItemIndex(name)); break;
            case TFieldKind::ActivePage: {
                const std::string& page = fields.ActivePage();
                pageControl_->SetActivePage(page.empty() ? nullptr : findChild<QWidget*>(QString::fromStdString(page)));
                break;
            }
        }
    }
}

// Called on the worker thread during an action, on the GUI thread else.
void TFormMailSortello::AppendLogLine(const std::string& line) {
    std::lock_guard<std::mutex> guard(pendingLock_);
    if (pendingLines_.empty() && QThread::currentThread() == thread()) {
        memo_->appendPlainText(ToQt(line));
        return;
    }
    pendingLines_.push_back(line);
    if (pendingLines_.size() == 1) mailbox_->Post([this] { FlushLog(); });
}

void TFormMailSortello::FlushLog() {
    std::vector<std::string> lines;
    {
        std::lock_guard<std::mutex> guard(pendingLock_);
        lines.swap(pendingLines_);
    }
    if (lines.empty()) return;
    QString text;
    for (const std::string& line : lines) text += ToQt(line) + '\n';
    text.chop(1);
    memo_->appendPlainText(text);
}

void TFormMailSortello::LogCleared() {
    {
        std::lock_guard<std::mutex> guard(pendingLock_);
        pendingLines_.clear();
    }
    memo_->clear();
}

void TFormMailSortello::FormCreate() { actions_.FormCreate(); }

void TFormMailSortello::FormShow() { PageControlChange(); }

void TFormMailSortello::PageControlChange() {
    // The running action reads the fields; the tab counts again after it.
    if (ActionRunning()) return;
    WidgetsToModel();
    EnableActions();
}

void TFormMailSortello::EnableActions() {
    const bool idle = !ActionRunning();
    actConnetti_->setEnabled(idle && actions_.ConnettiEnabled());
    actInviaMail_->setEnabled(idle);
    actChiudi_->setEnabled(true);
}

bool TFormMailSortello::ActionRunning() const { return runner_ && runner_->Busy(); }

void TFormMailSortello::actChiudiExecute() { close(); }

// The buttons are off while an action runs; a call that comes anyway (a
// shortcut, a queued click) is answered in the log.
bool TFormMailSortello::RefusedWhileRunning() {
    if (!ActionRunning()) return false;
    actions_.Log().LogLine("Operazione in corso: attendere che finisca prima di avviarne un'altra.");
    return true;
}

void TFormMailSortello::RunAction(void (TMailSortelloActions::*action)()) {
    if (RefusedWhileRunning()) return;
    RunGuarded([this, action] {
        WidgetsToModel();
        StartAction(action);
    });
}

void TFormMailSortello::StartAction(void (TMailSortelloActions::*action)()) {
    runner_->Start([this, action] { (actions_.*action)(); },
                   [this](std::exception_ptr error) { ActionDone(error); });
    EnableActions();
}

void TFormMailSortello::ActionDone(std::exception_ptr error) {
    FlushLog();
    PageControlChange();
    if (error) RunGuarded([error] { std::rethrow_exception(error); });
}

void TFormMailSortello::actConnettiExecute() { RunAction(&TMailSortelloActions::actConnettiExecute); }

// A character the code page lacks would reach the message as "?": the
// send stops first, naming the field.
void TFormMailSortello::CheckTypedTextFits() const {
    const TFieldModel& fields = actions_.Fields();
    for (const std::string& name : fields.FieldNames()) {
        const QWidget* widget = findChild<QWidget*>(QString::fromStdString(name));
        const TFieldKind kind = fields.Kind(name);
        if (kind != TFieldKind::Text && kind != TFieldKind::Lines) continue;
        const QString text =
            kind == TFieldKind::Text ? LineText(widget) : static_cast<const QPlainTextEdit*>(widget)->toPlainText();
        if (!FitsCodePage(text))
            throw EFieldError(Format("Il campo \"%s\" contiene caratteri che la code page %d non ha.", name.c_str(),
                                     AnsiCodePage()));
    }
}

void TFormMailSortello::actInviaMailExecute() {
    if (RefusedWhileRunning()) return;
    RunGuarded([this] {
        CheckTypedTextFits();
        WidgetsToModel();
        StartAction(&TMailSortelloActions::actInviaMailExecute);
    });
}

void TFormMailSortello::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (shown_) return;
    shown_ = true;
    RestoreSettings();
    FormShow();
}

void TFormMailSortello::closeEvent(QCloseEvent* event) {
    // Its sockets are shut down, so the action ends at once; the close
    // then drops what it still had queued for the server.
    if (ActionRunning()) {
        runner_->Stop();
        actions_.CloseConnection();
    }
    FlushLog();
    status_->hide();
    SaveSettings(false);
    event->accept();
}
