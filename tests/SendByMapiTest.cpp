#include "app/SendByMapi.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "mapi/MapiLoader.h"
#include "tests/support/DesktopSandbox.h"

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

namespace {


const std::vector<std::string> kClosing = {"Mapi: dopo SendMail...", "Mapi: dopo Reset di chiusura."};

class SendByMapiTest : public ::testing::Test {
protected:
    void SetUp() override {
        ResetMapiLoaderForTesting(TDesktopSandbox::BuiltMapiProvider());
        sandbox.FakeProgram("xdg-mime", 1);
        sandbox.FakeProgram("xdg-email", 0);
        fields.SetItemIndex("edtShowDialog_mapi", 1);
        fields.SetItemIndex("edtUseAppHandle_mapi", 1);
        fields.SetText("edtSubject", "Prova");
        fields.SetLines("edtBody", TStringList{"riga 1"});
        fields.SetLines("edtRecipients", TStringList{"a@b.it c@d.it"});
    }
    // Runs the send with the trace kept off the test's output.
    std::vector<std::string> Send() {
        testing::internal::CaptureStderr();
        SendByMapi(context);
        trace = testing::internal::GetCapturedStderr();
        return log.Lines().Lines();
    }
    static std::vector<std::string> Join(std::vector<std::string> a, const std::vector<std::string>& b) {
        a.insert(a.end(), b.begin(), b.end());
        return a;
    }
    TDesktopSandbox sandbox;
    TFieldModel fields;
    TActivityLog log;
    TComponent owner;
    TMailActionContext context{fields, log, owner, 0x77};
    std::string trace;
};

}  // namespace

TEST_F(SendByMapiTest, ASuccessfulSendLogsEveryStepAndFreesTheSender) {
    const std::string attachment = sandbox.Root() + "/allegato.txt";
    TDesktopSandbox::WriteFile(attachment, "x");
    fields.SetText("edtAttachFile1", attachment);
    fields.SetLines("edtCCRecipients", TStringList{"e@f.it"});
    EXPECT_THAT(Send(), ElementsAreArray(Join({"Destinatari: <a@b.it> ,", "<c@d.it>", "", "Copia conoscenza: e@f.it", "",
                                               "Allegato \"" + attachment + "\"", "Mapi: prima di SendMail...", "> Inviato."},
                                              kClosing)));
    EXPECT_EQ(owner.ComponentCount(), 0);
    EXPECT_THAT(sandbox.Calls("xdg-email"), ElementsAre(ElementsAre("--utf8", "--cc", "e@f.it", "--subject", "Prova", "--body",
                                                                    "riga 1\r\n", "--attach", attachment, "a@b.it", "c@d.it")));
    EXPECT_NE(trace.find("> actInviaMailExecute - imposta Mapi...\n"), std::string::npos);
    EXPECT_NE(trace.find("> MapiCon.Recipients.Text=<a@b.it> ,\r\n<c@d.it>\r\n\n"), std::string::npos);
    EXPECT_NE(trace.find("> actInviaMailExecute - dopo Reset.\n"), std::string::npos);
}

TEST_F(SendByMapiTest, AnErrorOfTheMailProgramArrivesAsItsCode) {
    sandbox.FakeProgram("xdg-email", 2);
    EXPECT_THAT(Send(), ElementsAreArray(Join({"Destinatari: <a@b.it> ,", "<c@d.it>", "", "Copia conoscenza: ",
                                               "Mapi: prima di SendMail...", "MapiErrEvent : Error Code = 11"},
                                              kClosing)));
}

TEST_F(SendByMapiTest, WithoutDialogTheProviderAnswersNotSupported) {
    fields.SetItemIndex("edtShowDialog_mapi", 0);
    const auto lines = Send();
    EXPECT_EQ(lines.at(lines.size() - 3), "MapiErrEvent : Error Code = 26");
    EXPECT_TRUE(sandbox.Calls("xdg-email").empty());
}

TEST_F(SendByMapiTest, MissingSimpleMapiIsLoggedAsAUserAbort) {
    ResetMapiLoaderForTesting("/nonexistent/libmapi32.so");
    const auto lines = Send();
    EXPECT_EQ(lines.at(lines.size() - 3), "Mapi: User abort.");
    EXPECT_EQ(lines.at(lines.size() - 4), "Mapi: prima di SendMail...");
}

TEST_F(SendByMapiTest, AnExceptionEndsTheBlockWithItsMessage) {
    // In the constructor: the flag of the wrong kind.
    TDesktopSandbox::WriteFile(sandbox.MachineRegistryFile(),
                               "Windows Registry Editor Version 5.00\r\n\r\n"
                               "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows Messaging Subsystem]\r\n\"MAPI\"=dword:00000001\r\n");
    EXPECT_THAT(Send(), ElementsAre("Invalid data type for 'MAPI'"));
    EXPECT_EQ(owner.ComponentCount(), 0);

    // Inside SendMail: the default client of the wrong kind. The sender stays
    // with its owner.
    log.Clear();
    TDesktopSandbox::WriteFile(sandbox.MachineRegistryFile(),
                               "Windows Registry Editor Version 5.00\r\n\r\n"
                               "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Clients\\Mail]\r\n@=dword:00000001\r\n");
    const auto lines = Send();
    EXPECT_EQ(lines.back(), "Invalid data type for ''");
    EXPECT_EQ(lines.at(lines.size() - 2), "Mapi: prima di SendMail...");
    EXPECT_EQ(owner.ComponentCount(), 1);
}

TEST_F(SendByMapiTest, AnAccentedAttachmentIsFoundAndHandedOverUnderItsUtf8Name) {
    setenv("LC_ALL", "it_IT.UTF-8", 1);
    ASSERT_EQ(mkdir((sandbox.Root() + "/Universit\xC3\xA0").c_str(), 0700), 0);
    TDesktopSandbox::WriteFile(sandbox.Root() + "/Universit\xC3\xA0/perch\xC3\xA9.txt", "x");
    const std::string ansi = sandbox.Root() + "/Universit\xE0/perch\xE9.txt";
    fields.SetText("edtAttachFile1", ansi);
    const std::vector<std::string> log = Send();
    EXPECT_THAT(log, ::testing::Contains("Allegato \"" + ansi + "\""));
    EXPECT_EQ(log.at(log.size() - 3), "> Inviato.");
    ASSERT_EQ(sandbox.Calls("xdg-email").size(), 1u);
    EXPECT_THAT(sandbox.Calls("xdg-email")[0],
                ::testing::Contains(sandbox.Root() + "/Universit\xC3\xA0/perch\xC3\xA9.txt"));
}

TEST_F(SendByMapiTest, ANamedFileThatCannotBeReadStopsTheSendAloud) {
    const std::string fifo = sandbox.Root() + "/coda";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    for (const std::string& path : {sandbox.Root() + "/manca.txt", sandbox.Root(), fifo,
                                    std::string("/proc/sys/vm/compact_memory")}) {  // write-only, even for root
        SCOPED_TRACE(path);
        log.Clear();
        fields.SetText("edtAttachFile2", path);
        EXPECT_THAT(Send(), ElementsAre("Destinatari: <a@b.it> ,", "<c@d.it>", "", "Copia conoscenza: ",
                                        "Cannot open file " + path));
    }
    EXPECT_TRUE(sandbox.Calls("xdg-email").empty());
}

// Simple MAPI takes C strings: a NUL would cut the text short unseen, so
// the send is refused before anything is handed over.
TEST_F(SendByMapiTest, ANulInAFieldIsRefusedBeforeTheHandOff) {
    const std::string nul("a\0b", 3);
    const struct {
        const char* field;
        const char* label;
        bool memo;
    } rows[] = {
        {"edtSubject", "Oggetto", false},
        {"edtBody", "Corpo", true},
        {"edtRecipients", "Destinatari", true},
        {"edtCCRecipients", "Destinatari in copia conoscenza", true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.field);
        TFieldModel saved = fields;
        if (row.memo)
            fields.SetLines(row.field, TStringList{"x@y.it", nul});
        else
            fields.SetText(row.field, nul);
        log.Clear();
        testing::internal::CaptureStderr();
        EXPECT_FALSE(SendByMapi(context));
        testing::internal::GetCapturedStderr();
        EXPECT_THAT(log.Lines().Lines(),
                    ElementsAre("Campo \"" + std::string(row.label) + "\" non valido: contiene un NUL", "> Non inviato."));
        EXPECT_TRUE(sandbox.Calls("xdg-email").empty());
        fields = saved;
    }
    EXPECT_TRUE(SendByMapi(context));
}
