#include "mapi/MapiControl.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <optional>

#include "mapi/MapiLoader.h"
#include "platform/Registry.h"
#include "tests/support/DesktopSandbox.h"

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

namespace {

struct TRecip {
    uint32_t recipClass;
    std::optional<std::string> name, address;
    bool operator==(const TRecip&) const = default;
};
struct TFile {
    uint32_t position;
    std::string path, name;
    bool operator==(const TFile&) const = default;
};
// A deep copy of what the sender handed to MAPISendMail.
struct TCall {
    uintptr_t session = 99, uiParam = 99;
    uint32_t flags = 0, reserved = 99;
    std::optional<std::string> subject, body;
    TRecip originator{};
    std::vector<TRecip> recips;
    bool recipsNull = false, filesNull = false;
    std::vector<TFile> files;
};

std::optional<std::string> Copy(const char* s) { return s ? std::optional<std::string>(s) : std::nullopt; }

std::vector<TCall> calls;
uint32_t nextResult = 0;

uint32_t RecordingSendMail(uintptr_t session, uintptr_t uiParam, MapiMessage* m, uint32_t flags, uint32_t reserved) {
    TCall call;
    call.session = session;
    call.uiParam = uiParam;
    call.flags = flags;
    call.reserved = reserved;
    call.subject = Copy(m->lpszSubject);
    call.body = Copy(m->lpszNoteText);
    call.originator = {m->lpOriginator->ulRecipClass, Copy(m->lpOriginator->lpszName), Copy(m->lpOriginator->lpszAddress)};
    call.recipsNull = m->lpRecips == nullptr;
    for (uint32_t i = 0; i < m->nRecipCount; ++i)
        call.recips.push_back({m->lpRecips[i].ulRecipClass, Copy(m->lpRecips[i].lpszName), Copy(m->lpRecips[i].lpszAddress)});
    call.filesNull = m->lpFiles == nullptr;
    for (uint32_t i = 0; i < m->nFileCount; ++i)
        call.files.push_back({m->lpFiles[i].nPosition, m->lpFiles[i].lpszPathName, m->lpFiles[i].lpszFileName});
    calls.push_back(call);
    return nextResult;
}


const std::string kMachineHeader = "Windows Registry Editor Version 5.00\r\n\r\n";

class MapiControlTest : public ::testing::Test {
protected:
    void SetUp() override {
        calls.clear();
        nextResult = 0;
        ResetMapiLoaderForTesting("", RecordingSendMail);
        SetApplicationHandle(0x5150);
        sandbox.FakeProgram("xdg-mime", 1);
    }
    void SetDefaultMailClient(const std::string& name) {
        TDesktopSandbox::WriteFile(sandbox.MachineRegistryFile(),
                                   kMachineHeader + "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Clients\\Mail]\r\n@=\"" + name + "\"\r\n");
    }
    // Wires the three events to a list of what happened.
    void Watch(TMapiControl& mapi) {
        mapi.SetOnSuccess([this](TComponent*) { events.push_back("success"); });
        mapi.SetOnUserAbort([this](TComponent*) { events.push_back("abort"); });
        mapi.SetOnMapiError([this](TComponent*, int32_t code) { events.push_back("error " + std::to_string(code)); });
    }
    TDesktopSandbox sandbox;
    TComponent owner;
    std::vector<std::string> events;
};

}  // namespace

TEST_F(MapiControlTest, StartsEmptyWithDialogAndAppHandleOn) {
    TMapiControl mapi(&owner);
    EXPECT_EQ(mapi.Owner(), &owner);
    EXPECT_TRUE(mapi.ShowDialog());
    EXPECT_TRUE(mapi.UseAppHandle());
    EXPECT_EQ(mapi.Subject(), "");
    EXPECT_TRUE(mapi.Recipients().Empty());
    EXPECT_FALSE(mapi.OnSuccess());
}

TEST_F(MapiControlTest, ConstructorSwitchesTheSimpleMapiFlagOnWhereItMay) {
    TDesktopSandbox::WriteFile(sandbox.MachineRegistryFile(),
                               kMachineHeader + "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows Messaging Subsystem]\r\n\"MAPI\"=\"0\"\r\n");
    { TMapiControl mapi(&owner); }
    EXPECT_THAT(TDesktopSandbox::ReadFile(sandbox.MachineRegistryFile()), HasSubstr("\"MAPI\"=\"1\"\r\n"));

    TDesktopSandbox::WriteFile(sandbox.MachineRegistryFile(),
                               kMachineHeader + "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows Messaging Subsystem]\r\n\"MAPI\"=dword:00000001\r\n");
    try {
        TMapiControl mapi(&owner);
        FAIL() << "no registry error";
    } catch (const ERegistryException& e) {
        EXPECT_EQ(e.Message(), "Invalid data type for 'MAPI'");
    }
    EXPECT_EQ(owner.ComponentCount(), 0);

    sandbox.MakeMachineRootUnwritable();
    EXPECT_NO_THROW(TMapiControl mapi(&owner));
}

TEST_F(MapiControlTest, SendMailCleansTheListsAndFillsTheRecords) {
    TMapiControl mapi(&owner);
    Watch(mapi);
    mapi.SetSubject("Prova");
    mapi.SetBody("riga 1\r\nriga 2\r\n");
    // As the window hands them over: every address but the last ends in " ,".
    mapi.Recipients().SetText("<a@b.it> ,\r\n<c@d.it>");
    mapi.CopyTo().SetText("Mario Rossi\r\n<e@f.it>");
    mapi.BlindCopyTo().SetText("g@h.it");
    testing::internal::CaptureStderr();
    mapi.SendMail();
    const std::string trace = testing::internal::GetCapturedStderr();

    ASSERT_EQ(calls.size(), 1u);
    const TCall& call = calls[0];
    EXPECT_EQ(call.session, 0u);
    EXPECT_EQ(call.uiParam, 0x5150u);
    EXPECT_EQ(call.flags, 0x0Bu);
    EXPECT_EQ(call.reserved, 0u);
    EXPECT_EQ(call.subject, "Prova");
    EXPECT_EQ(call.body, "riga 1\r\nriga 2\r\n");
    EXPECT_EQ(call.originator, (TRecip{MAPI_ORIG, "", ""}));
    EXPECT_THAT(call.recips, ElementsAre(TRecip{MAPI_TO, "<a@b.it>", "<a@b.it>"}, TRecip{MAPI_TO, "<c@d.it>", "<c@d.it>"},
                                         TRecip{MAPI_CC, "<e@f.it>", "<e@f.it>"}, TRecip{MAPI_BCC, "g@h.it", "g@h.it"}));
    EXPECT_TRUE(call.filesNull);
    EXPECT_THAT(events, ElementsAre("success"));
    EXPECT_THAT(mapi.Recipients().Lines(), ElementsAre("<a@b.it>", "<c@d.it>"));
    EXPECT_EQ(trace,
              "NormalizeEmailAddress, strAddr.Count=2\n"
              "NormalizeEmailAddress, finale straddr.commatext: \"<a@b.it>,<c@d.it>\"\n"
              "NormalizeEmailAddress, strAddr.Count=1\n"
              "NormalizeEmailAddress, finale straddr.commatext: \"<e@f.it>\"\n"
              "NormalizeEmailAddress, strAddr.Count=1\n"
              "NormalizeEmailAddress, finale straddr.commatext: \"g@h.it\"\n");
}

TEST_F(MapiControlTest, AnOutlookDefaultClientGetsSmtpAddressesWhileNamesKeepTheBrackets) {
    SetDefaultMailClient("Microsoft Outlook");
    TMapiControl mapi(&owner);
    mapi.Recipients().SetText("<a@b.it> ,\r\n<c@d.it>");
    mapi.CopyTo().SetText("e@f.it");
    testing::internal::CaptureStderr();
    mapi.SendMail();
    EXPECT_THAT(testing::internal::GetCapturedStderr(), HasSubstr("commatext: \"SMTP:a@b.it,SMTP:c@d.it\"\n"));
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_THAT(calls[0].recips, ElementsAre(TRecip{MAPI_TO, "<a@b.it>", "SMTP:a@b.it"}, TRecip{MAPI_TO, "<c@d.it>", "SMTP:c@d.it"},
                                             TRecip{MAPI_CC, "e@f.it", "SMTP:e@f.it"}));
}

TEST_F(MapiControlTest, EmptyTextsArePassedAsNullAndEmptyListsGiveNoRecordsNorTrace) {
    TMapiControl mapi(&owner);
    mapi.Recipients().SetText("solo un nome\r\n");
    testing::internal::CaptureStderr();
    mapi.SendMail();
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].subject, std::nullopt);
    EXPECT_EQ(calls[0].body, std::nullopt);
    EXPECT_TRUE(calls[0].recipsNull);
    EXPECT_TRUE(mapi.Recipients().Empty());
}

TEST_F(MapiControlTest, AttachmentsArePassedLastFirstWithTheirFileNames) {
    TMapiControl mapi(&owner);
    mapi.AttachedFiles().SetText("C:\\dati\\uno.txt\r\n\r\n/tmp/prove/due.pdf\r\n");
    mapi.SendMail();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_THAT(calls[0].files, ElementsAre(TFile{0xFFFFFFFFu, "/tmp/prove/due.pdf", "due.pdf"},
                                            TFile{0xFFFFFFFFu, "C:\\dati\\uno.txt", "uno.txt"}));
    EXPECT_THAT(mapi.DisplayFileName().Lines(), ElementsAre("due.pdf", "uno.txt"));
}

TEST_F(MapiControlTest, WithoutDialogAndAppHandleTheFlagsAreLogonUiAndNoParent) {
    TMapiControl mapi(&owner);
    mapi.SetShowDialog(false);
    mapi.SetUseAppHandle(false);
    mapi.SendMail();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].flags, 0x01u);
    EXPECT_EQ(calls[0].uiParam, 0u);
}

TEST_F(MapiControlTest, EachResultReachesItsEventAndUnsetEventsAreSkipped) {
    const std::vector<std::pair<uint32_t, std::string>> cases = {{0, "success"}, {1, "abort"}, {11, "error 11"}, {26, "error 26"}};
    for (const auto& [result, event] : cases) {
        TMapiControl mapi(&owner);
        Watch(mapi);
        events.clear();
        nextResult = result;
        mapi.SendMail();
        EXPECT_THAT(events, ElementsAre(event));
        TMapiControl silent(&owner);
        EXPECT_NO_THROW(silent.SendMail());
    }
}

TEST_F(MapiControlTest, ResetKeepsOptionsEventsAndTheDefaultClient) {
    SetDefaultMailClient("Outlook Express");
    TMapiControl mapi(&owner);
    Watch(mapi);
    mapi.SetShowDialog(false);
    mapi.SetSubject("s");
    mapi.SetFromAdress("x@y.it");
    mapi.Recipients().SetText("a@b.it");
    mapi.AttachedFiles().Add("/tmp/f");
    mapi.SendMail();
    mapi.Reset();
    EXPECT_EQ(mapi.Subject(), "");
    EXPECT_EQ(mapi.FromAdress(), "");
    EXPECT_TRUE(mapi.Recipients().Empty());
    EXPECT_TRUE(mapi.RecipientNames().Empty());
    EXPECT_TRUE(mapi.DisplayFileName().Empty());
    EXPECT_FALSE(mapi.ShowDialog());
    // The cached client still answers after the registry changed.
    SetDefaultMailClient("Posta");
    mapi.Recipients().SetText("c@d.it");
    mapi.SendMail();
    EXPECT_EQ(calls.back().recips.at(0).address, "SMTP:c@d.it");
    EXPECT_THAT(events, ElementsAre("success", "success"));
}

TEST_F(MapiControlTest, ANonStringDefaultClientRaisesOutOfSendMail) {
    TDesktopSandbox::WriteFile(sandbox.MachineRegistryFile(),
                               kMachineHeader + "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Clients\\Mail]\r\n@=dword:00000001\r\n");
    TMapiControl mapi(&owner);
    mapi.Recipients().SetText("a@b.it");
    testing::internal::CaptureStderr();
    try {
        mapi.SendMail();
        ADD_FAILURE() << "no registry error";
    } catch (const ERegistryException& e) {
        EXPECT_EQ(e.Message(), "Invalid data type for ''");
    }
    testing::internal::GetCapturedStderr();
    EXPECT_TRUE(calls.empty());
}

TEST_F(MapiControlTest, SimpleMapiOffOrLibraryMissingIsAUserAbort) {
    {
        ResetMapiLoaderForTesting("/nonexistent/libmapi32.so");
        TMapiControl mapi(&owner);
        Watch(mapi);
        mapi.SendMail();
    }
    {
        sandbox.MakeMachineRootUnwritable();  // nobody can switch the flag on
        ResetMapiLoaderForTesting("", RecordingSendMail);
        TMapiControl mapi(&owner);
        Watch(mapi);
        mapi.SendMail();
    }
    EXPECT_THAT(events, ElementsAre("abort", "abort"));
    EXPECT_TRUE(calls.empty());
    // Once found unavailable, it stays so for the process.
    EXPECT_EQ(MAPISendMail(0, 0, nullptr, 0, 0), MAPI_USER_ABORT);
}

TEST_F(MapiControlTest, TheProviderHandsTheMessageToXdgEmail) {
    ResetMapiLoaderForTesting(TDesktopSandbox::BuiltMapiProvider());
    sandbox.FakeProgram("xdg-email", 0);
    SetDefaultMailClient("Microsoft Outlook");
    TMapiControl mapi(&owner);
    Watch(mapi);
    mapi.SetSubject("Citt\xE0");
    mapi.SetBody("riga 1\r\nriga 2\r\n");
    mapi.Recipients().SetText("<a@b.it> ,\r\n<c@d.it>");
    mapi.CopyTo().SetText("<e@f.it>");
    mapi.BlindCopyTo().SetText("<g@h.it>");
    mapi.AttachedFiles().SetText("/tmp/uno.txt\r\n/tmp/due.txt");
    testing::internal::CaptureStderr();
    mapi.SendMail();
    testing::internal::GetCapturedStderr();
    EXPECT_THAT(events, ElementsAre("success"));
    EXPECT_THAT(sandbox.Calls("xdg-email"),
                ElementsAre(ElementsAre("--utf8", "--cc", "e@f.it", "--bcc", "g@h.it", "--subject", "Citt\xC3\xA0", "--body",
                                        "riga 1\r\nriga 2\r\n", "--attach", "/tmp/due.txt", "--attach", "/tmp/uno.txt",
                                        "a@b.it", "c@d.it")));
}

// xdg-email only looks whether the file exists.
TEST_F(MapiControlTest, TheProviderRefusesAFileItCannotReadWithoutStartingXdgEmail) {
    ResetMapiLoaderForTesting(TDesktopSandbox::BuiltMapiProvider());
    sandbox.FakeProgram("xdg-email", 0);
    TMapiControl mapi(&owner);
    Watch(mapi);
    mapi.Recipients().SetText("a@b.it");
    mapi.AttachedFiles().SetText("/proc/sys/vm/compact_memory");  // write-only, even for root
    mapi.SendMail();
    EXPECT_THAT(events, ElementsAre("error 12"));
    EXPECT_TRUE(sandbox.Calls("xdg-email").empty());
}

TEST_F(MapiControlTest, TheProviderMapsExitCodesAndRefusesToSendSilently) {
    ResetMapiLoaderForTesting(TDesktopSandbox::BuiltMapiProvider());
    const std::vector<std::pair<int, std::string>> cases = {{2, "error 11"}, {5, "error 12"}, {1, "error 2"}, {0, "success"}};
    for (const auto& [exitCode, event] : cases) {
        sandbox.FakeProgram("xdg-email", exitCode);
        TMapiControl mapi(&owner);
        Watch(mapi);
        mapi.SendMail();
    }
    TMapiControl silent(&owner);
    Watch(silent);
    silent.SetShowDialog(false);
    silent.SendMail();
    EXPECT_THAT(events, ElementsAre("error 11", "error 12", "error 2", "success", "error 26"));
    EXPECT_EQ(sandbox.Calls("xdg-email").size(), 4u);

    // No xdg-email at all.
    setenv("PATH", (sandbox.Root() + "/empty").c_str(), 1);
    events.clear();
    TMapiControl mapi(&owner);
    Watch(mapi);
    mapi.SendMail();
    EXPECT_THAT(events, ElementsAre("error 2"));
}
