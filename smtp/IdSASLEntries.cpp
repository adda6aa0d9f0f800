#include "smtp/IdSASLEntries.h"

#include "message/IdCoderMIME.h"
#include "net/IdTCPConnection.h"

#include <algorithm>

void TIdSASLListEntry::SetSASL(TIdSASL* value) {
    sasl_ = value;
    if (value != nullptr && collection_ != nullptr && collection_->Owner() != nullptr)
        collection_->Owner()->FreeNotification(value);
}

TIdSASLListEntry* TIdSASLEntries::Add() {
    items_.push_back(std::make_unique<TIdSASLListEntry>(this));
    return items_.back().get();
}

void TIdSASLEntries::Delete(int index) { items_.erase(items_.begin() + index); }

void TIdSASLEntries::RemoveMechanism(TComponent* component) {
    for (int i = Count() - 1; i >= 0; --i)
        if (Items(i)->SASL() != nullptr && static_cast<TComponent*>(Items(i)->SASL()) == component) Delete(i);
}

std::unique_ptr<TStringList> TIdSASLEntries::ParseAuthMechanisms(const TStringList& lines,
                                                                 const std::string& keyword) {
    auto result = std::make_unique<TStringList>();
    const size_t prefixLength = keyword.size() + 1;
    for (const std::string& original : lines) {
        const std::string line = UpperCase(original);
        const std::string prefix = line.substr(0, prefixLength);
        if (!SameText(prefix, keyword + " ") && !SameText(prefix, keyword + "=")) continue;
        std::string rest = line.substr(std::min(prefixLength, line.size()));
        while (!rest.empty()) {
            std::replace(rest.begin(), rest.end(), '=', ' ');
            const size_t space = rest.find(' ');
            const std::string word = rest.substr(0, space);
            rest = space == std::string::npos ? std::string() : rest.substr(space + 1);
            if (!word.empty() && result->IndexOf(word) < 0) result->Add(word);
        }
    }
    return result;
}

std::vector<TIdSASL*> TIdSASLEntries::Candidates(const TStringList& offered) const {
    std::vector<TIdSASL*> candidates;
    for (int i = Count() - 1; i >= 0; --i) {
        TIdSASL* sasl = Items(i)->SASL();
        if (sasl != nullptr && offered.IndexOf(sasl->MechanismName()) >= 0) candidates.push_back(sasl);
    }
    return candidates;
}

namespace {

bool IsIn(const TStringList& codes, const std::string& code) { return codes.IndexOf(code) >= 0; }

// The challenge of a continue reply: its text, trailing blanks and line
// breaks removed, Base64-decoded. An undecodable challenge cancels the
// exchange ("*") so that the server is not left waiting for an answer.
std::string DecodeChallenge(TIdTCPConnection& connection) {
    const std::string text = TrimRight(connection.LastCmdResult().Text().Text());
    std::string challenge;
    if (TIdDecoderMIME::TryDecode(text, challenge)) return challenge;
    connection.SendCommand("*");
    throw EIdInvalidBase64("Invalid Base64 data");
}

}  // namespace

bool TIdSASLEntries::LoginWith(TIdSASL& mechanism, const std::string& command, const TStringList& okReplies,
                               const TStringList& continueReplies, TIdTCPConnection& connection) {
    auto code = [&connection] { return connection.LastCmdResult().Code(); };
    auto failed = [&](const std::string& c) { return !IsIn(okReplies, c) && !IsIn(continueReplies, c); };

    connection.SendCommand(command + " " + mechanism.MechanismName());
    if (failed(code())) return false;
    if (IsIn(okReplies, code())) return true;
    std::string response = mechanism.InitialResponse(DecodeChallenge(connection));
    connection.SendCommand(TIdEncoderMIME::EncodeString(response));
    if (failed(code())) connection.RaiseLastReplyError();
    while (IsIn(continueReplies, code())) {
        response = mechanism.NextResponse(DecodeChallenge(connection));
        connection.SendCommand(TIdEncoderMIME::EncodeString(response));
        if (failed(code())) connection.RaiseLastReplyError();
    }
    return true;
}

bool TIdSASLEntries::LoginWithSASL(const std::string& command, const TStringList& okReplies,
                                   const TStringList& continueReplies, TIdTCPConnection& connection,
                                   const TStringList& lines, const std::string& /*keyword*/) {
    // The offer is always read from the AUTH lines, whatever keyword is given.
    const std::unique_ptr<TStringList> offered = ParseAuthMechanisms(lines, "AUTH");
    // Only the first candidate is tried: a refusal ends the login quietly.
    const std::vector<TIdSASL*> candidates = Candidates(*offered);
    if (candidates.empty()) return false;
    return LoginWith(*candidates.front(), command, okReplies, continueReplies, connection);
}
