#include <QLineEdit>
#include <QPlainTextEdit>
#include <QScreen>
#include <QAction>

#include "app/FormStorage.h"
#include "app/QtWidgets.h"
#include "tests/app/WindowDriver.h"
#include "tests/app/WindowFixture.h"
#include "tests/support/ReadOnlyFolder.h"
#include "tests/support/UnusableFile.h"

class FormStorageTest : public WindowFixture {
protected:
    std::string ScreenSuffix() {
        const QRect screen = QGuiApplication::primaryScreen()->geometry();
        return "(" + std::to_string(screen.width()) + "x" + std::to_string(screen.height()) + ")";
    }
    std::string BodyKey() const { return std::string(Section) + ".edtBody_Lines"; }
    // The log lines about the stored settings.
    std::vector<std::string> SettingsLog() {
        std::vector<std::string> lines;
        for (const std::string& line : TWindowDriver(*window_).Log())
            if (line.rfind("Impostazioni", 0) == 0) lines.push_back(line);
        return lines;
    }
    void ExpectDefaults() {
        EXPECT_EQ(window_->PageControl()->ActivePage()->objectName(), "TabSheetSmtpCript");
        EXPECT_EQ(Find<TRadioGroup>("edtMethod")->ItemIndex(), 2);
        EXPECT_EQ(Find<QLineEdit>("edtSubject")->text(), "");
    }
};

TEST_F(FormStorageTest, ChiudiWritesTheSection) {
    OpenWindow();
    EXPECT_TRUE(KeyStored("\\Software\\TelVara\\Base"));
    EXPECT_FALSE(KeyStored(Section));
    CloseWindow();
    const std::string ppi = std::to_string(qRound(QGuiApplication::primaryScreen()->logicalDotsPerInch()));
    const std::vector<std::pair<std::string, std::string>> expected = {
        {"FormVersion", "0"},
        {"Flags", "0"},
        {"ShowCmd", "1"},
        {"PixelsPerInch", ppi},
        {"MinMaxPos", "-1,-1,-1,-1"},
        {"MinMaxPos" + ScreenSuffix(), "-1,-1,-1,-1"},
        {"Visible", "0"},
        {"edtAuthType_smtpcript_ItemIndex", "0"},
        {"edtHost_smtpcript_Text", ""},
        {"edtMethod_ItemIndex", "2"},
        {"edtPort_smtpcript_Text", ""},
        {"edtSender_Text", ""},
        {"edtSubject_Text", ""},
        {"edtUserName_Text", ""},
        {"edtUseTLS_ItemIndex", "0"},
        {"edtHost_smtp_Text", ""},
        {"edtPort_smtp_Text", ""},
        {"edtAuthType_smtp_ItemIndex", "1"},
        {"PageControl_ActivePage", "TabSheetSmtpCript"},
        {"edtShowDialog_mapi_ItemIndex", "1"},
        {"edtUseAppHandle_mapi_ItemIndex", "0"},
        {"edtAttachFile1_Text", ""},
        {"edtAttachFile2_Text", ""},
    };
    for (const auto& [name, value] : expected) EXPECT_EQ(Stored(Section, name), value) << name;
    const std::string norm = Stored(Section, "NormPos");
    EXPECT_EQ(Stored(Section, "NormPos" + ScreenSuffix()), norm);
    int left, top, right, bottom;
    ASSERT_EQ(sscanf(norm.c_str(), "%d,%d,%d,%d", &left, &top, &right, &bottom), 4) << norm;
    EXPECT_EQ(right - left, 677);
    EXPECT_EQ(bottom - top, 772);
    for (const char* memo : {"edtBody", "edtRecipients", "edtCCRecipients"})
        EXPECT_FALSE(KeyStored(std::string(Section) + "." + memo + "_Lines")) << memo;
    EXPECT_EQ(Stored(Section, "edtPassword_Text"), "<missing>");
}

TEST_F(FormStorageTest, StoredMapiTabDisablesConnettiAtShow) {
    Store(Section, "PageControl_ActivePage", "TabSheetMAPI");
    TFormMailSortello& window = OpenWindow();
    EXPECT_EQ(window.PageControl()->ActivePage()->objectName(), "TabSheetMAPI");
    EXPECT_FALSE(window.actConnetti()->isEnabled());
}

TEST_F(FormStorageTest, UnknownOrNullTabLeavesNoTabActive) {
    for (const char* stored : {"(NULL)", "TabSheetNessuno"}) {
        Store(Section, "PageControl_ActivePage", stored);
        TFormMailSortello& window = OpenWindow();
        EXPECT_EQ(window.PageControl()->ActivePage(), nullptr) << stored;
        EXPECT_FALSE(window.actConnetti()->isEnabled());
        CloseWindow();
        EXPECT_EQ(Stored(Section, "PageControl_ActivePage"), "(null)");
    }
}

TEST_F(FormStorageTest, TextsAreTrimmedBothWays) {
    OpenWindow();
    Find<QLineEdit>("edtPort_smtpcript")->setText("587 ");
    Find<QLineEdit>("edtHost_smtp")->setText("\t mail.example.org  ");
    CloseWindow();
    EXPECT_EQ(Stored(Section, "edtPort_smtpcript_Text"), "587");
    EXPECT_EQ(Stored(Section, "edtHost_smtp_Text"), "mail.example.org");
    Store(Section, "edtSender_Text", "  a@example.org ");
    OpenWindow();
    EXPECT_EQ(Find<QLineEdit>("edtPort_smtpcript")->text(), "587");
    EXPECT_EQ(Find<QLineEdit>("edtSender")->text(), "a@example.org");
}

TEST_F(FormStorageTest, MemoLinesGoToTheirOwnKeyAndAnEmptyMemoDeletesIt) {
    OpenWindow();
    Find<QPlainTextEdit>("edtBody")->setPlainText(" uno \ndue\n\ttre");
    CloseWindow();
    EXPECT_EQ(Stored(BodyKey(), "Count"), "3");
    EXPECT_EQ(Stored(BodyKey(), "Item0"), " uno ");
    EXPECT_EQ(Stored(BodyKey(), "Item1"), "due");
    EXPECT_EQ(Stored(BodyKey(), "Item2"), "\ttre");
    EXPECT_EQ(Stored(BodyKey(), "Item3"), "<missing>");

    OpenWindow();
    EXPECT_EQ(Find<QPlainTextEdit>("edtBody")->toPlainText(), " uno \ndue\n\ttre\n");
    Find<QPlainTextEdit>("edtBody")->clear();
    CloseWindow();
    EXPECT_FALSE(KeyStored(BodyKey()));
}

TEST_F(FormStorageTest, MissingItemsReadAsEmptyLinesAndZeroCountChangesNothing) {
    Store(BodyKey(), "Count", "3");
    Store(BodyKey(), "Item1", "b");
    Store(std::string(Section) + ".edtRecipients_Lines", "Count", "0");
    TFormMailSortello& window = OpenWindow();
    EXPECT_EQ(window.Actions().Fields().MemoValue("edtBody"), "\r\nb\r\n\r\n");
    EXPECT_TRUE(window.Actions().Fields().Lines("edtRecipients").Empty());
}

TEST_F(FormStorageTest, ItemIndexThatIsNotANumberGivesZero) {
    Store(Section, "edtMethod_ItemIndex", "x");
    Store(Section, "edtUseTLS_ItemIndex", " 3 ");
    OpenWindow();
    EXPECT_EQ(Find<TRadioGroup>("edtMethod")->ItemIndex(), 0);
    EXPECT_EQ(Find<TRadioGroup>("edtUseTLS")->ItemIndex(), 3);
}

TEST_F(FormStorageTest, PlacementPrefersTheScreenSizeNames) {
    Store(Section, "NormPos", "10,20,710,820");
    Store(Section, "NormPos" + ScreenSuffix(), "30,40,630,740");
    TFormMailSortello& window = OpenWindow();
    EXPECT_EQ(window.geometry(), QRect(30, 40, 600, 700));
}

TEST_F(FormStorageTest, PlacementFallsBackToThePlainNames) {
    Store(Section, "NormPos", "10,20,710,820");
    Store(Section, "NormPos(1x1)", "30,40,630,740");
    Store(Section, "NormPos" + ScreenSuffix(), "");
    TFormMailSortello& window = OpenWindow();
    EXPECT_EQ(window.geometry(), QRect(10, 20, 700, 800));
}

TEST_F(FormStorageTest, PlacementIgnoredForAnotherResolutionOrAnEmptyRectangle) {
    Store(Section, "NormPos", "10,20,710,820");
    Store(Section, "PixelsPerInch", "1");
    TFormMailSortello& window = OpenWindow();
    EXPECT_EQ(window.size(), QSize(677, 772));
    EXPECT_NE(window.pos(), QPoint(10, 20));
    window_.reset();
    Store(Section, "PixelsPerInch", std::to_string(qRound(QGuiApplication::primaryScreen()->logicalDotsPerInch())));
    Store(Section, "NormPos", "500,20,400,820");
    EXPECT_EQ(OpenWindow().size(), QSize(677, 772));
}

TEST_F(FormStorageTest, PasswordIsNeverWritten) {
    OpenWindow();
    Find<QLineEdit>("edtUserName")->setText("tecnico");
    Find<QLineEdit>("edtPassword")->setText("Segreto-9182");
    CloseWindow();
    const std::string text = SettingsText();
    EXPECT_NE(text.find("tecnico"), std::string::npos);
    EXPECT_EQ(text.find("Segreto-9182"), std::string::npos);
    EXPECT_EQ(text.find("edtPassword"), std::string::npos);
}

TEST_F(FormStorageTest, CorruptFileIsMovedAsideAndTheWindowOpensWithDefaults) {
    std::filesystem::create_directories(SettingsFolder());
    std::ofstream(SettingsPath()) << "not a registry file\r\n[HKEY_CURRENT_USER\\Software";
    TFormMailSortello& window = OpenWindow();
    EXPECT_EQ(window.PageControl()->ActivePage()->objectName(), "TabSheetSmtpCript");
    EXPECT_EQ(Find<TRadioGroup>("edtMethod")->ItemIndex(), 2);
    bool movedAside = false;
    for (const auto& entry : std::filesystem::directory_iterator(SettingsFolder()))
        movedAside |= entry.path().filename().string().find(".corrupt-") != std::string::npos;
    EXPECT_TRUE(movedAside);
    CloseWindow();
    EXPECT_EQ(Stored(Section, "edtMethod_ItemIndex"), "2");
}

TEST_F(FormStorageTest, ValueOfTheWrongKindIsSkippedAlone) {
    StoreDword(Section, "edtHost_smtp_Text", 5);
    Store(Section, "edtPort_smtp_Text", "2525");
    StoreDword(BodyKey(), "Count", 2);
    TFormMailSortello& window = OpenWindow();
    EXPECT_EQ(Find<QLineEdit>("edtHost_smtp")->text(), "");
    EXPECT_EQ(Find<QLineEdit>("edtPort_smtp")->text(), "2525");
    EXPECT_TRUE(window.Actions().Fields().Lines("edtBody").Empty());
    EXPECT_TRUE(errors_.empty());
}

TEST_F(FormStorageTest, BadPlacementValueReachesTheErrorDisplayAndFieldsStillRestore) {
    StoreDword(Section, "Flags", 1);
    Store(Section, "edtSubject_Text", "Prova");
    OpenWindow();
    ASSERT_EQ(errors_.size(), 1u);
    EXPECT_EQ(errors_[0], "Invalid data type for 'Flags'");
    EXPECT_EQ(Find<QLineEdit>("edtSubject")->text(), "Prova");
}

TEST_F(FormStorageTest, StoredPropsAreTheNineteenInOrder) {
    TFormMailSortello& window = OpenWindow();
    const TStringList& props = window.FormStorage1().StoredProps();
    ASSERT_EQ(props.Count(), 19);
    EXPECT_EQ(props[0], "edtAuthType_smtpcript.ItemIndex");
    EXPECT_EQ(props[13], "PageControl.ActivePage");
    EXPECT_EQ(props[18], "edtCCRecipients.Lines");
    EXPECT_EQ(props.IndexOf("edtPassword.Text"), -1);
}

TEST_F(FormStorageTest, AnythingUnusableInPlaceOfTheFileIsMovedAsideAndLogged) {
    for (const TUnusableFile& bad : UnusableFiles()) {
        SCOPED_TRACE(bad.name);
        std::filesystem::remove_all(SettingsFolder());
        std::filesystem::create_directories(SettingsFolder());
        bad.make(SettingsPath());
        OpenWindow();
        ExpectDefaults();
        const std::vector<std::string> log = SettingsLog();
        ASSERT_EQ(log.size(), 1u);
        EXPECT_EQ(log[0].rfind("Impostazioni salvate non lette: " + SettingsPath() + " cannot be read (" + bad.why +
                                   "); moved aside to " + SettingsPath() + ".corrupt-",
                               0),
                  0u)
            << log[0];
        Find<QLineEdit>("edtSubject")->setText("Dopo");
        CloseWindow();
        EXPECT_TRUE(errors_.empty());
        EXPECT_EQ(Stored(Section, "edtSubject_Text"), "Dopo");
    }
}

TEST_F(FormStorageTest, AReadOnlyFolderRestoresTheFieldsAndAFailedSaveLosesNothing) {
    Store(Section, "edtSubject_Text", "Prova");
    Store(BodyKey(), "Count", "2");
    Store(BodyKey(), "Item0", "riga uno");
    Store(BodyKey(), "Item1", "riga due");
    const std::string before = SettingsText();
    TReadOnlyFolder readOnly(SettingsFolder());
    ASSERT_TRUE(readOnly.Ok());
    TStderrCapture trace;
    TFormMailSortello& window = OpenWindow();
    EXPECT_EQ(Find<QLineEdit>("edtSubject")->text(), "Prova");
    EXPECT_EQ(window.Actions().Fields().Lines("edtBody").Text(), "riga uno\r\nriga due\r\n");
    EXPECT_TRUE(errors_.empty());
    EXPECT_TRUE(SettingsLog().empty());

    Find<QLineEdit>("edtSubject")->setText("Nuovo");
    CloseWindow();
    trace.Restore();
    EXPECT_EQ(errors_, std::vector<std::string>{"Failed to set data for 'FormVersion'"});
    bool said = false;
    for (const std::string& line : trace.Lines())
        said |= line.rfind("Settings: not stored, " + SettingsFolder() + " cannot be written (", 0) == 0;
    EXPECT_TRUE(said);
    EXPECT_EQ(SettingsText(), before);
}

TEST_F(FormStorageTest, AFirstStartInAReadOnlyFolderOpensWithDefaultsAndReportsTheSave) {
    std::filesystem::create_directories(SettingsFolder());
    TReadOnlyFolder readOnly(SettingsFolder());
    ASSERT_TRUE(readOnly.Ok());
    OpenWindow();
    ExpectDefaults();
    EXPECT_TRUE(errors_.empty());
    CloseWindow();
    EXPECT_EQ(errors_.size(), 1u);
    EXPECT_FALSE(std::filesystem::exists(SettingsPath()));
}

TEST_F(FormStorageTest, AnUnusableFileThatCannotBeMovedIsLoggedAndKept) {
    std::filesystem::create_directories(SettingsFolder());
    UnusableFiles()[0].make(SettingsPath());
    TReadOnlyFolder readOnly(SettingsFolder());
    ASSERT_TRUE(readOnly.Ok());
    OpenWindow();
    ExpectDefaults();
    const std::vector<std::string> log = SettingsLog();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_NE(log[0].find("cannot be read (a folder); cannot be moved aside ("), std::string::npos) << log[0];
    CloseWindow();
    EXPECT_EQ(errors_.size(), 1u);
    EXPECT_TRUE(std::filesystem::is_directory(SettingsPath() + "/inside"));
}
