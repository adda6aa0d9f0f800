#include "app/cli/SmtpStageTracker.h"

#include <algorithm>
#include <cctype>

namespace {

std::string Verb(const std::string& line) {
    std::string verb = line.substr(0, line.find_first_of(" :"));
    std::transform(verb.begin(), verb.end(), verb.begin(), [](unsigned char c) { return std::toupper(c); });
    return verb;
}

int WordCount(const std::string& line) {
    int count = 0;
    bool inWord = false;
    for (char c : line) {
        const bool blank = c == ' ';
        if (!blank && !inWord) ++count;
        inWord = !blank;
    }
    return count;
}

bool Positive(int code) { return code >= 200 && code < 400; }

constexpr int ImplicitTls = 1;
constexpr int RequireTls = 2;
constexpr int AuthNone = 0;

}  // namespace

void TSmtpStageTracker::ClientLine(const std::string& line) {
    if (InMessageText()) {
        // The "." line ends the text; its reply then lands on lastCode_.
        if (line == ".") lastCode_ = 0;
        return;
    }
    const std::string verb = Verb(line);
    TStage stage = stage_;
    if (verb == "EHLO" || verb == "HELO")
        stage = TStage::Hello;
    else if (verb == "STARTTLS")
        stage = TStage::StartTls;
    else if (verb == "AUTH" || (stage_ == TStage::Auth && lastCode_ == 334))
        stage = TStage::Auth;
    else if (verb == "RSET" || verb == "MAIL" || verb == "RCPT")
        stage = TStage::Envelope;
    else if (verb == "DATA")
        stage = TStage::Data;
    else
        return;  // QUIT and the like say nothing about the stage
    if (stage == TStage::Hello && stage_ == TStage::StartTls) startTlsPassed_ = true;
    stage_ = stage;
    lastCode_ = 0;
}

void TSmtpStageTracker::ServerLine(const std::string& line) {
    // Only the last line of a reply ("250 ok", not "250-...") ends it.
    if (line.size() < 3 || !std::all_of(line.begin(), line.begin() + 3, ::isdigit)) return;
    if (line.size() > 3 && line[3] == '-') return;
    lastCode_ = std::stoi(line.substr(0, 3));
}

bool TSmtpStageTracker::CarriesCredentials(const std::string& line) const {
    if (InMessageText()) return false;
    if (stage_ == TStage::Auth && lastCode_ == 334) return true;
    return Verb(line) == "AUTH" && WordCount(line) > 2;
}

TCliExitStatus TSmtpStageTracker::FailureStatus(int useTls, int authType) const {
    if (!tcpConnected_ && !sessionOpened_) return cesConnect;
    if (useTls == ImplicitTls && !sessionOpened_) return cesTLS;
    switch (stage_) {
        case TStage::None:
            return cesGreeting;
        case TStage::Hello:
            if (!Positive(lastCode_)) return cesGreeting;
            // Accepted: what failed next sent no command of its own.
            if (useTls == RequireTls && !startTlsPassed_) return cesTLS;
            return authType != AuthNone ? cesAuthentication : cesGreeting;
        case TStage::StartTls:
            return cesTLS;
        case TStage::Auth:
            return cesAuthentication;
        case TStage::Envelope:
            return cesEnvelope;
        case TStage::Data:
            break;
    }
    return cesMessage;
}
