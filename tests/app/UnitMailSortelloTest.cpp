#include <QAction>
#include <QFileDialog>
#include <QTimer>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QToolButton>

#include "app/QtWidgets.h"
#include "tests/app/WindowDriver.h"
#include "tests/app/WindowFixture.h"

namespace {

enum class Kind { Label, Edit, Hint, Memo, Radio, FileName };

struct Component {
    const char* name;
    Kind kind;
    const char* text;  // caption or text
    QStringList items;
    int itemIndex;
    int x;
    int width;
    int tabOrder;
};

const QStringList Auth = {"None", "Default", "SASL"};
const QStringList Bool = {"False (no)", "True (si)"};

const Component Components[] = {
    {"Label2", Kind::Label, "Utente", {}, 0, 16, 0, -1},
    {"edtUserName", Kind::Edit, "", {}, 0, 120, 150, 0},
    {"Label3", Kind::Label, "Password", {}, 0, 16, 0, -1},
    {"edtPassword", Kind::Edit, "", {}, 0, 120, 150, 1},
    {"edtShowDialog_mapi", Kind::Radio, " Show dialog ", Bool, 1, 120, 209, 0},
    {"edtUseAppHandle_mapi", Kind::Radio, " Use App Handle ", Bool, 0, 120, 209, 1},
    {"Label10", Kind::Label, "Host, server di invio", {}, 0, 16, 0, -1},
    {"edtHost_smtp", Kind::Edit, "", {}, 0, 120, 150, 0},
    {"Edit4", Kind::Hint, "es:  smtp.example.com", {}, 0, 288, 209, 1},
    {"Label11", Kind::Label, "Porta", {}, 0, 16, 0, -1},
    {"edtPort_smtp", Kind::Edit, "", {}, 0, 120, 150, 2},
    {"Edit6", Kind::Hint, "es:  25", {}, 0, 288, 209, 3},
    {"edtAuthType_smtp", Kind::Radio, " Authentication Type ", Auth, 1, 120, 289, 4},
    {"Label4", Kind::Label, "Host, server di invio", {}, 0, 16, 0, -1},
    {"edtHost_smtpcript", Kind::Edit, "", {}, 0, 120, 150, 0},
    {"Edit2", Kind::Hint, "es:  smtp.example.com  mail.example.org", {}, 0, 288, 209, 5},
    {"Label5", Kind::Label, "Porta", {}, 0, 16, 0, -1},
    {"edtPort_smtpcript", Kind::Edit, "", {}, 0, 120, 150, 1},
    {"Edit3", Kind::Hint, "es:  465  587 ", {}, 0, 288, 209, 6},
    {"edtAuthType_smtpcript", Kind::Radio, " Authentication Type ", Auth, 0, 120, 289, 2},
    {"edtMethod", Kind::Radio, " Method ", {"sslvSSLv2", "sslvSSLv23", "sslvSSLv3", "sslvTLSv1"}, 2, 120, 430, 3},
    {"edtUseTLS", Kind::Radio, " Use TLS ", {"NoTLSSupport", "UseImplicitTLS", "UseRequireTLS", "UseExplicitTLS"}, 0,
     120, 430, 4},
    {"Label9", Kind::Label, "Mittente", {}, 0, 16, 0, -1},
    {"edtSender", Kind::Edit, "", {}, 0, 120, 150, 0},
    {"Label8", Kind::Label, "Destinatari", {}, 0, 16, 0, -1},
    {"edtRecipients", Kind::Memo, "", {}, 0, 120, 350, 1},
    {"Label14", Kind::Label, "Destinatari \nin copia conoscenza", {}, 0, 16, 0, -1},
    {"edtCCRecipients", Kind::Memo, "", {}, 0, 120, 350, 2},
    {"Label6", Kind::Label, "Oggetto", {}, 0, 16, 0, -1},
    {"edtSubject", Kind::Edit, "", {}, 0, 120, 150, 3},
    {"Label7", Kind::Label, "Corpo", {}, 0, 16, 0, -1},
    {"edtBody", Kind::Memo, "", {}, 0, 120, 350, 4},
    {"Label12", Kind::Label, "Allegato 1", {}, 0, 16, 0, -1},
    {"edtAttachFile1", Kind::FileName, "", {}, 0, 120, 353, 5},
    {"Label13", Kind::Label, "Allegato 2", {}, 0, 16, 0, -1},
    {"edtAttachFile2", Kind::FileName, "", {}, 0, 120, 353, 6},
};

}  // namespace

class WindowTest : public WindowFixture {};

TEST_F(WindowTest, FirstStartOpensOnTheEncryptedTabAndTabsEnableConnetti) {
    TFormMailSortello& window = OpenWindow();
    EXPECT_EQ(window.objectName(), "FormMailSortello");
    EXPECT_EQ(window.windowTitle(), "TelVara - Sortello e-mail");
    EXPECT_EQ(window.size(), QSize(677, 772));
    TPageControl* pages = window.PageControl();
    ASSERT_NE(pages->ActivePage(), nullptr);
    EXPECT_EQ(pages->ActivePage()->objectName(), "TabSheetSmtpCript");
    EXPECT_EQ(pages->Caption(2), " SMTP con crittografia    ");
    EXPECT_TRUE(window.actConnetti()->isEnabled());
    EXPECT_TRUE(Find<QPlainTextEdit>("Memo")->toPlainText().isEmpty());

    const struct {
        int tab;
        bool connetti;
    } steps[] = {{0, false}, {2, true}, {3, false}, {1, true}, {0, false}, {2, true}};
    for (const auto& step : steps) {
        QTest::mouseClick(pages->TabButton(step.tab), Qt::LeftButton);
        EXPECT_EQ(pages->ActivePage(), pages->Page(step.tab));
        EXPECT_EQ(window.actConnetti()->isEnabled(), step.connetti) << pages->Caption(step.tab).toStdString();
        EXPECT_TRUE(window.actInviaMail()->isEnabled());
        EXPECT_TRUE(window.actChiudi()->isEnabled());
    }
}

TEST_F(WindowTest, ComponentsMatchTheirDescription) {
    OpenWindow();
    for (const Component& c : Components) {
        SCOPED_TRACE(c.name);
        QWidget* widget = Find<QWidget>(c.name);
        ASSERT_NE(widget, nullptr);
        EXPECT_EQ(widget->x(), c.x);
        if (c.width) {
            EXPECT_EQ(widget->width(), c.width);
        }
        if (c.tabOrder >= 0) {
            EXPECT_EQ(widget->property("TabOrder").toInt(), c.tabOrder);
            EXPECT_EQ(widget->property("TabStop").toBool(), c.kind != Kind::Hint);
        }
        switch (c.kind) {
            case Kind::Label: {
                auto* label = dynamic_cast<QLabel*>(widget);
                ASSERT_NE(label, nullptr);
                EXPECT_EQ(label->text(), c.text);
                break;
            }
            case Kind::Edit:
            case Kind::Hint: {
                auto* edit = dynamic_cast<QLineEdit*>(widget);
                ASSERT_NE(edit, nullptr);
                EXPECT_EQ(edit->text(), c.text);
                EXPECT_EQ(edit->isReadOnly(), c.kind == Kind::Hint);
                EXPECT_EQ(edit->focusPolicy() == Qt::NoFocus, c.kind == Kind::Hint);
                break;
            }
            case Kind::Memo: {
                auto* memo = dynamic_cast<QPlainTextEdit*>(widget);
                ASSERT_NE(memo, nullptr);
                EXPECT_EQ(memo->toPlainText(), c.text);
                EXPECT_EQ(memo->lineWrapMode(), QPlainTextEdit::NoWrap);
                EXPECT_EQ(memo->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
                break;
            }
            case Kind::Radio: {
                auto* group = dynamic_cast<TRadioGroup*>(widget);
                ASSERT_NE(group, nullptr);
                EXPECT_EQ(group->title(), c.text);
                EXPECT_EQ(group->Items(), c.items);
                EXPECT_EQ(group->ItemIndex(), c.itemIndex);
                EXPECT_EQ(group->height(), 34);
                break;
            }
            case Kind::FileName: {
                auto* file = dynamic_cast<TFileNameEdit*>(widget);
                ASSERT_NE(file, nullptr);
                EXPECT_EQ(file->Text(), c.text);
                EXPECT_EQ(file->Edit()->completer(), nullptr);
                break;
            }
        }
    }
}

TEST_F(WindowTest, FrameTabsAndToolBarMatchTheirDescription) {
    TFormMailSortello& window = OpenWindow();
    EXPECT_EQ(Find<QLabel>("Label1")->text(),
              "TelVara - Programma per sortellare l'invio delle mail in varie modalità");
    const char* sheets[] = {"TabSheetMAPI", "TabSheetSMTP", "TabSheetSmtpCript", "TabSheetMailto"};
    const char* captions[] = {"  MAPI  ", " SMTP senza crittografia ", " SMTP con crittografia    ", "  mailto:  "};
    TPageControl* pages = window.PageControl();
    ASSERT_EQ(pages->PageCount(), 4);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(pages->Page(i)->objectName(), sheets[i]);
        EXPECT_EQ(pages->TabButton(i)->text(), captions[i]);
    }
    for (const char* name : {"ScrollBox2", "JvPanel1", "Panel1", "Panel2", "Splitter", "pnlSotto", "ToolBar",
                             "ScrollBox1", "ActionList", "ImageList", "FormStorage1"})
        EXPECT_NE(window.findChild<QObject*>(name), nullptr) << name;
    EXPECT_EQ(Find<QWidget>("Panel1")->size(), QSize(580, 64));
    EXPECT_EQ(Find<QWidget>("PageControl")->size(), QSize(580, 214));
    EXPECT_EQ(Find<QWidget>("Panel2")->size(), QSize(580, 261));
    EXPECT_EQ(Find<QWidget>("JvPanel1")->width(), 652);
    EXPECT_EQ(Find<QWidget>("pnlSotto")->height(), 175);

    auto* memo = Find<QPlainTextEdit>("Memo");
    EXPECT_TRUE(memo->isReadOnly());
    EXPECT_EQ(memo->property("TabStop").toBool(), false);

    const struct {
        const char* button;
        QAction* action;
        const char* caption;
        const char* hint;
        int image;
    } buttons[] = {{"ToolButton6", window.actConnetti(), "Connetti", "Prova la connessione con il server", 0},
                   {"ToolButton2", window.actInviaMail(), "Invia mail", "Invia la mail ", 2},
                   {"ToolButton1", window.actChiudi(), "Chiudi", "Chiude il programma", 1}};
    int lastX = -1;
    for (const auto& b : buttons) {
        auto* tool = Find<QToolButton>(b.button);
        ASSERT_NE(tool, nullptr);
        EXPECT_EQ(tool->defaultAction(), b.action);
        EXPECT_EQ(b.action->text(), b.caption);
        EXPECT_EQ(b.action->toolTip(), b.hint);
        EXPECT_EQ(b.action->property("ImageIndex").toInt(), b.image);
        EXPECT_EQ(tool->size(), QSize(88, 38));
        EXPECT_EQ(tool->toolButtonStyle(), Qt::ToolButtonTextBesideIcon);
        EXPECT_FALSE(b.action->icon().pixmap(32, 32).isNull());
        EXPECT_GT(tool->x(), lastX);
        lastX = tool->x();
    }
    for (const char* gap : {"ToolButton7", "ToolButton4", "ToolButton3", "ToolButton5"})
        EXPECT_EQ(Find<QWidget>(gap)->width(), 8) << gap;
}

TEST_F(WindowTest, PasswordShowsAnXPerCharacter) {
    OpenWindow();
    auto* password = Find<QLineEdit>("edtPassword");
    EXPECT_EQ(password->echoMode(), QLineEdit::Password);
    EXPECT_EQ(password->style()->styleHint(QStyle::SH_LineEdit_PasswordCharacter, nullptr, password), 'x');
    EXPECT_EQ(password->style()->styleHint(QStyle::SH_LineEdit_PasswordMaskDelay, nullptr, password), 0);
}

TEST_F(WindowTest, FieldsReachTheModelInTheAnsiCodePage) {
    TFormMailSortello& window = OpenWindow();
    Find<QLineEdit>("edtSubject")->setText(QString::fromUtf8("Prova è"));
    Find<QPlainTextEdit>("edtBody")->setPlainText("uno\ndue");
    window.WidgetsToModel();
    EXPECT_EQ(window.Actions().Fields().Text("edtSubject"), "Prova \xe8");
    EXPECT_EQ(window.Actions().Fields().MemoValue("edtBody"), "uno\r\ndue\r\n");
}

TEST_F(WindowTest, TahomaEightPointIsTheFont) {
    TFormMailSortello& window = OpenWindow();
    EXPECT_EQ(window.font().pixelSize(), 11);
    if (std::filesystem::exists("/usr/share/wine/fonts/tahoma.ttf")) {
        EXPECT_TRUE(window.font().family().contains("Tahoma")) << window.font().family().toStdString();
    }
}

TEST_F(WindowTest, BrowseOpensAnExistingFileDialogAndPutsThePathInAsItIs) {
    OpenWindow();
    const std::string path = root_ + "/un file.txt";
    std::ofstream(path) << "x";
    auto* edit = Find<TFileNameEdit>("edtAttachFile1");
    bool seen = false;
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (!dialog) return;
        seen = true;
        EXPECT_EQ(dialog->fileMode(), QFileDialog::ExistingFile);
        EXPECT_TRUE(dialog->isSizeGripEnabled());
        dialog->selectFile(QString::fromStdString(path));
        QMetaObject::invokeMethod(dialog, "accept", Qt::DirectConnection);
    });
    edit->Browse();
    EXPECT_TRUE(seen);
    EXPECT_EQ(edit->Text().toStdString(), path);
}

TEST_F(WindowTest, InviaMailOnTheMapiTabRunsTheMapiSend) {
    TFormMailSortello& window = OpenWindow();
    TWindowDriver drive(window);
    drive.SelectTab(0);
    drive.SetItem("edtShowDialog_mapi", 0);  // no dialog: nothing is started
    drive.SetText("edtRecipients", "a@x.test");
    drive.InviaMail();
    const std::vector<std::string> log = drive.Log();
    EXPECT_NE(std::find(log.begin(), log.end(), "Mapi: prima di SendMail..."), log.end());
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.back(), "Mapi: dopo Reset di chiusura.");
    EXPECT_EQ(window.Actions().idSMTP(), nullptr);
    EXPECT_TRUE(errors_.empty());
}

TEST_F(WindowTest, TabKeyFollowsTheDesignedOrder) {
    TFormMailSortello& window = OpenWindow();
    auto next = [](QWidget* widget) {
        do widget = widget->nextInFocusChain();
        while (!(widget->focusPolicy() & Qt::TabFocus) || !widget->isEnabled());
        return widget;
    };
    const char* const order[] = {"edtSender", "edtRecipients", "edtCCRecipients", "edtSubject", "edtBody"};
    QWidget* widget = Find<QWidget>(order[0]);
    for (size_t i = 1; i < std::size(order); ++i) {
        widget = next(widget);
        EXPECT_EQ(widget->objectName().toStdString(), order[i]);
    }
    EXPECT_EQ(next(widget), Find<TFileNameEdit>("edtAttachFile1")->Edit());
    EXPECT_EQ(next(Find<QWidget>("edtUserName")), Find<QWidget>("edtPassword"));
    EXPECT_EQ(next(Find<QWidget>("edtPassword")), window.PageControl()->TabButton(0));
    EXPECT_EQ(next(Find<QWidget>("edtHost_smtpcript")), Find<QWidget>("edtPort_smtpcript"));
}

// The fields hold ANSI text: an accented name goes in and reaches the field
// as Windows-1252, a name the code page lacks is refused aloud.
TEST_F(WindowTest, BrowseStartsInTheFileFolderAndRefusesNamesTheCodePageCannotHold) {
    setenv("LC_ALL", "it_IT.UTF-8", 1);
    TFormMailSortello& window = OpenWindow();
    const std::string folder = root_ + "/Universit\xC3\xA0";
    std::filesystem::create_directory(folder);
    std::ofstream(folder + "/perch\xC3\xA9.txt") << "x";
    auto* edit = Find<TFileNameEdit>("edtAttachFile1");
    edit->SetText(QString::fromStdString(folder + "/perch\xC3\xA9.txt"));
    QString start;
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (!dialog) return;
        start = dialog->directory().absolutePath();
        QMetaObject::invokeMethod(dialog, "reject", Qt::DirectConnection);
    });
    edit->Browse();
    EXPECT_EQ(start.toStdString(), folder);

    EXPECT_TRUE(edit->TakeChosenFile(QString::fromStdString(folder + "/perch\xC3\xA9.txt")));
    window.WidgetsToModel();
    EXPECT_EQ(window.Actions().Fields().Text("edtAttachFile1"), root_ + "/Universit\xE0/perch\xE9.txt");
    EXPECT_TRUE(errors_.empty());

    EXPECT_FALSE(edit->TakeChosenFile(QString::fromStdString(folder + "/\xE6\x97\xA5.txt")));
    EXPECT_EQ(edit->Text().toStdString(), folder + "/perch\xC3\xA9.txt");
    ASSERT_EQ(errors_.size(), 1u);
    EXPECT_EQ(errors_[0], "Il nome del file \"" + root_ + "/Universit\xE0/?.txt\" contiene caratteri che la code page 1252 non ha.");
}

// A radio group is one Tab stop, on its checked item (the first when none
// is), in both directions; the arrow keys move the check and the stop.
TEST_F(WindowTest, TabIntoARadioGroupLandsOnItsCheckedItem) {
    TFormMailSortello& window = OpenWindow();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    auto press = [](int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QTest::keyClick(QApplication::focusWidget(), static_cast<Qt::Key>(key), modifiers);
        return QApplication::focusWidget();
    };
    // Entering from a widget next to the group, focused by other means.
    const struct {
        const char* group;
        int index;
        const char* from;
        bool backwards;
    } entries[] = {{"edtAuthType_smtpcript", 1, "edtPort_smtpcript", false},
                   {"edtAuthType_smtpcript", 2, "edtPort_smtpcript", false},
                   {"edtAuthType_smtpcript", -1, "edtPort_smtpcript", false},
                   {"edtUseTLS", 2, "edtSender", true},
                   {"edtUseTLS", -1, "edtSender", true}};
    for (const auto& e : entries) {
        SCOPED_TRACE(std::string(e.group) + " " + std::to_string(e.index) + " from " + e.from);
        auto* group = Find<TRadioGroup>(e.group);
        group->SetItemIndex(e.index);
        Find<QWidget>(e.from)->setFocus(Qt::OtherFocusReason);
        EXPECT_EQ(press(Qt::Key_Tab, e.backwards ? Qt::ShiftModifier : Qt::NoModifier),
                  group->Buttons()[static_cast<size_t>(std::max(e.index, 0))]);
    }
    // Leaving it and coming back, either way.
    const struct {
        const char* group;
        int index;
    } cases[] = {{"edtAuthType_smtpcript", 2}, {"edtMethod", 3}, {"edtMethod", 1}, {"edtUseTLS", 2}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.group) + " " + std::to_string(c.index));
        auto* group = Find<TRadioGroup>(c.group);
        group->SetItemIndex(c.index);
        QRadioButton* stop = group->Buttons()[static_cast<size_t>(c.index)];
        stop->setFocus(Qt::OtherFocusReason);
        QWidget* after = press(Qt::Key_Tab);
        EXPECT_NE(after->parentWidget(), group) << after->objectName().toStdString();
        EXPECT_EQ(press(Qt::Key_Tab, Qt::ShiftModifier), stop);
        QWidget* before = press(Qt::Key_Tab, Qt::ShiftModifier);
        EXPECT_NE(before->parentWidget(), group) << before->objectName().toStdString();
        EXPECT_EQ(press(Qt::Key_Tab), stop);
    }

    auto* auth = Find<TRadioGroup>("edtAuthType_smtpcript");
    auth->SetItemIndex(1);
    auth->Buttons()[1]->setFocus(Qt::OtherFocusReason);
    EXPECT_EQ(press(Qt::Key_Right), auth->Buttons()[2]);
    EXPECT_EQ(auth->ItemIndex(), 2);
    Find<QWidget>("edtPort_smtpcript")->setFocus(Qt::OtherFocusReason);
    EXPECT_EQ(press(Qt::Key_Tab), auth->Buttons()[2]);
}
