#include "app/SendByMailto.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

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

const std::string kUrl = "mailto:a@b.it%0D%0A?subject=Prova&body=riga 1%0D%0Ariga 2%0D%0A";

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
