// Our Simple MAPI provider: MAPISendMail hands the message to the desktop's
// mail program through xdg-email, whose compose window plays the part of
// the MAPI dialog.
#include <string>
#include <vector>

#include "core/StringList.h"
#include "platform/CodePage.h"
#include "platform/FileName.h"
#include "platform/Locale.h"
#include "platform/Process.h"
#include "platform/SimpleMapi.h"

namespace {

std::string Text(const char* ansi) { return ansi ? AnsiToUtf8(ansi) : std::string(); }

// The mail program wants a bare address: no "SMTP:" type, no brackets.
std::string BareAddress(const MapiRecipDesc& recip) {
    std::string address = Trim(Text(recip.lpszAddress && *recip.lpszAddress ? recip.lpszAddress : recip.lpszName));
    if (StartsText("SMTP:", address)) address = Trim(address.substr(5));
    if (address.size() >= 2 && address.front() == '<' && address.back() == '>')
        address = Trim(address.substr(1, address.size() - 2));
    return address;
}

uint32_t ResultOfExit(int status) {
    switch (status) {
        case 0: return SUCCESS_SUCCESS;
        case 2: return MAPI_E_ATTACHMENT_NOT_FOUND;
        case 5: return MAPI_E_ATTACHMENT_OPEN_FAILURE;
        default: return MAPI_E_FAILURE;
    }
}

// Builds the xdg-email argument vector; false with result set when a
// recipient cannot be passed.
bool BuildArguments(const MapiMessage& message, std::vector<std::string>& argv, uint32_t& result) {
    argv = {"xdg-email", "--utf8"};
    std::vector<std::string> to;
    for (uint32_t i = 0; i < message.nRecipCount && message.lpRecips; ++i) {
        const MapiRecipDesc& recip = message.lpRecips[i];
        const std::string address = BareAddress(recip);
        if (address.empty()) continue;
        // xdg-email would take a leading "-" for one of its options.
        if (address[0] == '-') {
            result = MAPI_E_INVALID_RECIPS;
            return false;
        }
        switch (recip.ulRecipClass) {
            case MAPI_TO: to.push_back(address); break;
            case MAPI_CC: argv.insert(argv.end(), {"--cc", address}); break;
            case MAPI_BCC: argv.insert(argv.end(), {"--bcc", address}); break;
            default: result = MAPI_E_BAD_RECIPTYPE; return false;
        }
    }
    if (message.lpszSubject) argv.insert(argv.end(), {"--subject", Text(message.lpszSubject)});
    if (message.lpszNoteText) argv.insert(argv.end(), {"--body", Text(message.lpszNoteText)});
    for (uint32_t i = 0; i < message.nFileCount && message.lpFiles; ++i)
        if (message.lpFiles[i].lpszPathName) argv.insert(argv.end(), {"--attach", Text(message.lpFiles[i].lpszPathName)});
    argv.insert(argv.end(), to.begin(), to.end());
    return true;
}

// xdg-email only looks for the file's existence (exit 2 when it is
// missing); a file it could not read would leave the mail program without
// the attachment while we reported success.
bool AttachmentsReadable(const MapiMessage& message) {
    for (uint32_t i = 0; i < message.nFileCount && message.lpFiles; ++i) {
        const char* path = message.lpFiles[i].lpszPathName;
        if (path && FileExists(path) && !FileReadable(path)) return false;
    }
    return true;
}

}  // namespace

extern "C" __attribute__((visibility("default"))) uint32_t MAPISendMail(uintptr_t, uintptr_t, MapiMessage* message,
                                                                         uint32_t flags, uint32_t) {
    // A Linux desktop has no standard way to send without showing the
    // message to the user.
    if (!(flags & MAPI_DIALOG)) return MAPI_E_NOT_SUPPORTED;
    if (!message) return MAPI_E_INVALID_MESSAGE;
    std::vector<std::string> argv;
    uint32_t result = MAPI_E_FAILURE;
    if (!BuildArguments(*message, argv, result)) return result;
    if (!AttachmentsReadable(*message)) return MAPI_E_ATTACHMENT_OPEN_FAILURE;
    return ResultOfExit(RunProgram(argv));
}
