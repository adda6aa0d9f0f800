#include "mapi/MapiControl.h"

#include <vector>

#include "mapi/DefaultMailClient.h"
#include "mapi/MapiLoader.h"
#include "platform/DebugOutput.h"
#include "platform/Registry.h"
#include "platform/SimpleMapi.h"

namespace {

uintptr_t applicationHandle = 0;

const char* const kMessagingKey = "SOFTWARE\\Microsoft\\Windows Messaging Subsystem";

// Makes sure the system's Simple MAPI flag is on; a key we may not write
// is left alone without a word.
void EnableSimpleMapi() {
    TRegistry reg(HKEY_LOCAL_MACHINE);
    if (!reg.OpenKey(kMessagingKey, true)) return;
    if (reg.ReadString("MAPI") != "1") reg.WriteString("MAPI", "1");
    reg.CloseKey();
}

// Codes 0 to 30, blank, comma and semicolon: the separators the window
// may leave between addresses.
bool IsAddressDelimiter(char c) {
    const auto code = static_cast<unsigned char>(c);
    return code <= 30 || c == ' ' || c == ',' || c == ';';
}

// The next token from the 1-based position; a delimiter right at the
// position gives an empty token. The position never passes length + 1.
std::string NextAddressToken(const std::string& text, int& position) {
    const int length = static_cast<int>(text.size());
    const int start = position < 1 ? 1 : position;
    int i = start;
    while (i <= length && !IsAddressDelimiter(text[static_cast<size_t>(i - 1)])) ++i;
    const std::string token = i > start ? text.substr(static_cast<size_t>(start - 1), static_cast<size_t>(i - start)) : "";
    position = i + 1 > length + 1 ? length + 1 : i + 1;
    return token;
}

std::string CommaText(const TStringList& list) {
    if (list.Count() == 1 && list[0].empty()) return "\"\"";
    std::string out;
    for (int i = 0; i < list.Count(); ++i) {
        const std::string& line = list[i];
        bool quote = false;
        for (char c : line) quote = quote || static_cast<unsigned char>(c) <= ' ' || c == ',' || c == '"';
        if (i > 0) out += ",";
        if (!quote) {
            out += line;
            continue;
        }
        out += '"';
        for (char c : line) out += c == '"' ? std::string("\"\"") : std::string(1, c);
        out += '"';
    }
    return out;
}

// The text after the last "\", ":" or, for Linux paths, "/".
std::string FileNamePart(const std::string& path) {
    const size_t cut = path.find_last_of("\\:/");
    return cut == std::string::npos ? path : path.substr(cut + 1);
}

char* Text(const std::string& s) { return const_cast<char*>(s.c_str()); }
char* TextOrNull(const std::string& s) { return s.empty() ? nullptr : Text(s); }

void AddRecipients(std::vector<MapiRecipDesc>& recips, const TStringList& addresses, const TStringList& names,
                   uint32_t recipClass) {
    for (int i = 0; i < addresses.Count(); ++i)
        recips.push_back(MapiRecipDesc{0, recipClass, Text(names[i]), Text(addresses[i]), 0, nullptr});
}

}  // namespace

void SetApplicationHandle(uintptr_t handle) { applicationHandle = handle; }
uintptr_t ApplicationHandle() { return applicationHandle; }

TMapiControl::TMapiControl(TComponent* owner)
    : TComponent(owner),
      recipients_(std::make_unique<TStringList>()),
      recipientNames_(std::make_unique<TStringList>()),
      copyTo_(std::make_unique<TStringList>()),
      copyToNames_(std::make_unique<TStringList>()),
      blindCopyTo_(std::make_unique<TStringList>()),
      blindCopyToNames_(std::make_unique<TStringList>()),
      attachedFiles_(std::make_unique<TStringList>()),
      displayFileNames_(std::make_unique<TStringList>()) {
    EnableSimpleMapi();
}

TMapiControl::~TMapiControl() = default;

void TMapiControl::Reset() {
    subject_.clear();
    body_.clear();
    fromName_.clear();
    fromAdress_.clear();
    for (TStringList* list : {recipients_.get(), recipientNames_.get(), copyTo_.get(), copyToNames_.get(),
                              blindCopyTo_.get(), blindCopyToNames_.get(), attachedFiles_.get(), displayFileNames_.get()})
        list->Clear();
}

void TMapiControl::SendMail() {
    const uintptr_t uiParam = useAppHandle_ ? ApplicationHandle() : 0;
    MapiMessage message{};
    NormalizeEmailAddress(*recipients_, *recipientNames_);
    NormalizeEmailAddress(*copyTo_, *copyToNames_);
    NormalizeEmailAddress(*blindCopyTo_, *blindCopyToNames_);

    message.lpszSubject = TextOrNull(subject_);
    message.lpszNoteText = TextOrNull(body_);
    MapiRecipDesc originator{0, MAPI_ORIG, Text(fromName_), Text(fromAdress_), 0, nullptr};
    message.lpOriginator = &originator;

    std::vector<MapiRecipDesc> recips;
    AddRecipients(recips, *recipients_, *recipientNames_, MAPI_TO);
    AddRecipients(recips, *copyTo_, *copyToNames_, MAPI_CC);
    AddRecipients(recips, *blindCopyTo_, *blindCopyToNames_, MAPI_BCC);
    message.nRecipCount = static_cast<uint32_t>(recips.size());
    message.lpRecips = recips.empty() ? nullptr : recips.data();

    RemoveEmptyFiles(*attachedFiles_);
    std::vector<MapiFileDesc> files;
    if (!attachedFiles_->Empty()) {
        displayFileNames_->Clear();
        for (const auto& path : *attachedFiles_) displayFileNames_->Add(FileNamePart(path));
        for (int i = 0; i < attachedFiles_->Count(); ++i)
            files.push_back(MapiFileDesc{0, 0, 0xFFFFFFFFu, Text((*attachedFiles_)[i]), Text((*displayFileNames_)[i]), nullptr});
    }
    message.nFileCount = static_cast<uint32_t>(files.size());
    message.lpFiles = files.empty() ? nullptr : files.data();

    const uint32_t flags = showDialog_ ? (MAPI_LOGON_UI | MAPI_NEW_SESSION | MAPI_DIALOG) : MAPI_LOGON_UI;
    Report(MAPISendMail(0, uiParam, &message, flags, 0));
}

void TMapiControl::Report(uint32_t result) {
    if (result == SUCCESS_SUCCESS) {
        if (onSuccess_) onSuccess_(this);
    } else if (result == MAPI_USER_ABORT) {
        if (onUserAbort_) onUserAbort_(this);
    } else if (onMapiError_) {
        onMapiError_(this, static_cast<int32_t>(result));
    }
}

void TMapiControl::NormalizeEmailAddress(TStringList& list, TStringList& names) {
    const std::string text = list.Text();
    list.Clear();
    names.Clear();
    // The text ends in CR LF, so stopping short of its last character loses
    // no real token.
    for (int position = 1; position < static_cast<int>(text.size());) list.Add(NextAddressToken(text, position));
    for (int i = list.Count() - 1; i >= 0; --i) {
        list[i] = Trim(list[i]);
        if (list[i].find('@') == std::string::npos) list.Delete(i);
    }
    if (list.Empty()) return;
    names.Assign(list);
    if (GetDefaultClient().find("Outlook") != std::string::npos) {
        for (int i = 0; i < list.Count(); ++i) {
            std::string& line = list[i];
            if (!line.empty() && line[0] == '<') line = line.substr(1, line.size() >= 2 ? line.size() - 2 : 0);
            line = "SMTP:" + line;
        }
    }
    OutputDebugStringA("NormalizeEmailAddress, strAddr.Count=" + std::to_string(list.Count()));
    OutputDebugStringA("NormalizeEmailAddress, finale straddr.commatext: \"" + CommaText(list) + "\"");
}

void TMapiControl::RemoveEmptyFiles(TStringList& list) {
    const TStringList copy = list;
    list.Clear();
    for (int i = copy.Count() - 1; i >= 0; --i)
        if (!copy[i].empty()) list.Add(copy[i]);
}

std::string TMapiControl::GetDefaultClient() {
    if (FDefaultClient.empty()) FDefaultClient = ReadDefaultMailClient();
    return FDefaultClient;
}
