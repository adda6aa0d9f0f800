#include "app/SendByMailto.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "core/Stream.h"
#include "platform/Registry.h"
#include "tests/support/DesktopSandbox.h"

using ::testing::ElementsAre;

namespace {

class SendByMailtoTest : public ::testing::Test {
protected:
    void SetUp() override {
        sandbox.FakeProgram("xdg-mime", 1);
        sandbox.FakeProgram("xdg-open", 0);
        fields.SetLines("edtRecipients", TStringList{"a@b.it"});
        fields.SetText("edtSubject", "Prova");
        fields.SetLines("edtBody", TStringList{"riga 1", "riga 2"});
    }
    std::vector<std::string> Send() {
        SendByMailto(context);
        return log.Lines().Lines();
    }
    std::vector<std::string> Opened() {
        EXPECT_TRUE(sandbox.WaitForCalls("xdg-open", 1));
        return sandbox.Calls("xdg-open").at(0);
    }
    TDesktopSandbox sandbox;
    TFieldModel fields;
    TActivityLog log;
    TComponent owner;
    TMailActionContext context{fields, log, owner, 0};
};

const std::string kUrl = "mailto:a@b.it?subject=Prova&body=riga 1%0D%0Ariga 2%0D%0A";

}  // namespace

TEST_F(SendByMailtoTest, OneRecipientAndATwoLineBody) {
    EXPECT_THAT(Send(), ElementsAre("Programma predefinito: \"Nessuno\"", kUrl, "> Inviato."));
    EXPECT_THAT(Opened(), ElementsAre(kUrl));
}

TEST_F(SendByMailtoTest, OnlyTheFirstOfTwoAttachmentsGoesInTheUrl) {
    const std::string one = sandbox.Root() + "/uno.txt", two = sandbox.Root() + "/due.txt";
    TDesktopSandbox::WriteFile(one, "1");
    TDesktopSandbox::WriteFile(two, "2");
    fields.SetText("edtAttachFile1", one);
    fields.SetText("edtAttachFile2", two);
    const std::string url = kUrl + "&attachment=\"" + one + "\"";
    EXPECT_THAT(Send(), ElementsAre("Programma predefinito: \"Nessuno\"", "Allegato \"" + one + "\"",
                                    "Per l'invio mailto si pu\xF2 indicare un solo allegato.", url, "> Inviato."));
    EXPECT_THAT(Opened(), ElementsAre(url));
}

TEST_F(SendByMailtoTest, PercentAmpersandAndHashInSubjectAndBodyAreEncoded) {
    EXPECT_EQ(MailtoUrl("a@b.it", "50% & #1", "x&y=z\r\n", ""), "mailto:a@b.it?subject=50%25 %26 %231&body=x%26y=z%0D%0A");
    EXPECT_EQ(MailtoUrl("a@b.it; c@d.it", "Citt\xE0?", "", "C:\\a&b.txt"),
              "mailto:a@b.it; c@d.it?subject=Citt\xE0?&body=&attachment=\"C:\\a&b.txt\"");
}

// One address a memo line: the mail program gets one list, never a line
// break inside an address.
TEST_F(SendByMailtoTest, RecipientLinesBecomeOneCommaList) {
    const struct {
        const char* memo;
        const char* url;
    } cases[] = {
        {"uno@x.it\r\ndue@x.it\r\n", "mailto:uno@x.it,due@x.it?subject=&body="},
        {"  uno@x.it \r\n\r\n\tdue@x.it\n", "mailto:uno@x.it,due@x.it?subject=&body="},
        {"a@x.it, b@x.it\r\nc@x.it\r\n", "mailto:a@x.it, b@x.it,c@x.it?subject=&body="},
        {"strano?&#%@x.it\r\n", "mailto:strano%3F%26%23%25@x.it?subject=&body="},
        {"", "mailto:?subject=&body="},
    };
    for (const auto& c : cases) EXPECT_EQ(MailtoUrl(c.memo, "", "", ""), c.url) << c.memo;
}

TEST_F(SendByMailtoTest, TheDefaultProgramComesFromTheMachineFileOrTheDesktop) {
    sandbox.FakeProgram("xdg-mime", 0, "posta.desktop\n");
    sandbox.DesktopEntry("posta.desktop", "Posta del desktop");
    EXPECT_EQ(DefaultMailProgram(), "Posta del desktop");
    TDesktopSandbox::WriteFile(sandbox.MachineRegistryFile(),
                               "Windows Registry Editor Version 5.00\r\n\r\n"
                               "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Clients\\Mail]\r\n@=\"  Mozilla Thunderbird \"\r\n");
    EXPECT_EQ(Send().at(0), "Programma predefinito: \"Mozilla Thunderbird\"");
}

TEST_F(SendByMailtoTest, ADefaultValueOfAnotherKindRaisesBeforeAnythingIsOpened) {
    TDesktopSandbox::WriteFile(sandbox.MachineRegistryFile(),
                               "Windows Registry Editor Version 5.00\r\n\r\n"
                               "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Clients\\Mail]\r\n@=dword:00000001\r\n");
    try {
        Send();
        FAIL() << "no registry error";
    } catch (const ERegistryException& e) {
        EXPECT_EQ(e.Message(), "Invalid data type for ''");
    }
    EXPECT_TRUE(log.Lines().Empty());
    EXPECT_TRUE(sandbox.Calls("xdg-open").empty());
}

TEST_F(SendByMailtoTest, TheDesktopGetsTheUtf8BytesPercentEncoded) {
    setenv("LC_ALL", "it_IT.UTF-8", 1);
    struct Case {
        std::string url, handed;
    } cases[] = {
        {kUrl, kUrl},
        {"mailto:a@b.it?subject=Citt\xE0 \x80&body=perch\xE9", "mailto:a@b.it?subject=Citt%C3%A0 %E2%82%AC&body=perch%C3%A9"},
        {std::string("mailto:a@b.it?body=a\tb\0c\x7F", 25), "mailto:a@b.it?body=a%09b%00c%7F"},
    };
    for (const Case& c : cases) EXPECT_EQ(DesktopUrl(c.url), c.handed);
    EXPECT_THROW(DesktopUrl("mailto:a@b.it?subject=\x81"), EConvertError);
    setenv("LC_ALL", "ja_JP.UTF-8", 1);
    EXPECT_EQ(DesktopUrl("mailto:a@b.it?subject=\x93\xFA\x96\x7B"), "mailto:a@b.it?subject=%E6%97%A5%E6%9C%AC");
}

TEST_F(SendByMailtoTest, AnAccentedAttachmentAndSubjectReachTheDesktopAsUtf8) {
    setenv("LC_ALL", "it_IT.UTF-8", 1);
    ASSERT_EQ(mkdir((sandbox.Root() + "/Universit\xC3\xA0").c_str(), 0700), 0);
    TDesktopSandbox::WriteFile(sandbox.Root() + "/Universit\xC3\xA0/perch\xC3\xA9.txt", "x");
    const std::string ansi = sandbox.Root() + "/Universit\xE0/perch\xE9.txt";
    fields.SetText("edtAttachFile1", ansi);
    fields.SetText("edtSubject", "Citt\xE0");
    const std::string url = "mailto:a@b.it?subject=Citt\xE0&body=riga 1%0D%0Ariga 2%0D%0A&attachment=\"" + ansi + "\"";
    EXPECT_THAT(Send(), ElementsAre("Programma predefinito: \"Nessuno\"", "Allegato \"" + ansi + "\"", url, "> Inviato."));
    EXPECT_THAT(Opened(), ElementsAre("mailto:a@b.it?subject=Citt%C3%A0&body=riga 1%0D%0Ariga 2%0D%0A&attachment=\"" +
                                      sandbox.Root() + "/Universit%C3%A0/perch%C3%A9.txt\""));
}

TEST_F(SendByMailtoTest, ANamedFileThatCannotBeReadStopsBeforeAnythingIsOpened) {
    const std::string fifo = sandbox.Root() + "/coda";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    for (const std::string& path : {sandbox.Root() + "/manca.txt", sandbox.Root(), fifo,
                                    std::string("/proc/sys/vm/compact_memory")}) {  // write-only, even for root
        SCOPED_TRACE(path);
        log.Clear();
        fields.SetText("edtAttachFile1", path);
        try {
            Send();
            ADD_FAILURE() << "no error";
        } catch (const EFOpenError& e) {
            EXPECT_EQ(e.Message(), "Cannot open file " + path);
        }
        EXPECT_THAT(log.Lines().Lines(), ElementsAre("Programma predefinito: \"Nessuno\""));
    }
    EXPECT_TRUE(sandbox.Calls("xdg-open").empty());
}

TEST_F(SendByMailtoTest, ASecondFileIsNeverDroppedWithoutAWord) {
    fields.SetText("edtAttachFile2", sandbox.Root() + "/manca.txt");
    EXPECT_THAT(Send(), ElementsAre("Programma predefinito: \"Nessuno\"", "Per l'invio mailto si pu\xF2 indicare un solo allegato.",
                                    kUrl, "> Inviato."));
}

// With no program to open the URL nothing reaches the desktop: no success.
TEST_F(SendByMailtoTest, AUrlTheDesktopCannotOpenIsNotReportedAsSent) {
    const std::string path = getenv("PATH");
    setenv("PATH", (sandbox.Root() + "/nessun-programma").c_str(), 1);
    const std::vector<std::string> lines = Send();
    setenv("PATH", path.c_str(), 1);
    EXPECT_THAT(lines, ElementsAre("Programma predefinito: \"Nessuno\"", kUrl,
                                   "L'URL non si pu\xF2 aprire (errore 2).", "> Non inviato."));
}
