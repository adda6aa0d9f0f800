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

// The status of a failed reply to a command of that stage.
TCliExitStatus StageStatus(TSmtpStageTracker::TStage stage) {
    switch (stage) {
        case TSmtpStageTracker::TStage::None:
        case TSmtpStageTracker::TStage::Hello:
            return cesGreeting;
        case TSmtpStageTracker::TStage::StartTls:
            return cesTLS;
        case TSmtpStageTracker::TStage::Auth:
            return cesAuthentication;
        case TSmtpStageTracker::TStage::Envelope:
            return cesEnvelope;
        case TSmtpStageTracker::TStage::Data:
            break;
    }
    return cesMessage;
}

constexpr int ImplicitTls = 1;
constexpr int RequireTls = 2;
constexpr int AuthNone = 0;

}  // namespace

void TSmtpStageTracker::ClientLine(const std::string& line) {
    if (InMessageText()) {
        // The "." line ends the text; its reply then lands on lastCode_.
        if (line == ".") {
            lastCode_ = 0;
            pending_.push_back({TStage::Data, replies_});
        }
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
    else {
        pending_.push_back({std::nullopt, replies_});
        return;  // QUIT and the like say nothing about the stage
    }
    pending_.push_back({stage, replies_});
    if (stage == TStage::Hello && stage_ == TStage::StartTls) startTlsPassed_ = true;
    stage_ = stage;
    lastCode_ = 0;
}

void TSmtpStageTracker::ServerLine(const std::string& line) {
    // Only the last line of a reply ("250 ok", not "250-...") ends it.
    if (line.size() < 3 || !std::all_of(line.begin(), line.begin() + 3, ::isdigit)) return;
    if (line.size() > 3 && line[3] == '-') return;
    lastCode_ = std::stoi(line.substr(0, 3));
    Answered(lastCode_);
}

// A failure stays the answer until a later command, sent after the client
// saw it (a HELO after a refused EHLO, another AUTH), succeeds; commands
// already on their way in the same batch do not count.
void TSmtpStageTracker::Answered(int code) {
    const int reply = replies_++;
    if (pending_.empty()) return;  // the greeting
    const TPending command = pending_.front();
    pending_.pop_front();
    if (!command.stage) return;
    if (!Positive(code)) {
        if (!failure_) failure_ = TFailure{*command.stage, reply};
    } else if (failure_ && command.repliesBefore > failure_->reply) {
        failure_.reset();
    }
}

bool TSmtpStageTracker::CarriesCredentials(const std::string& line) const {
    if (InMessageText()) return false;
    if (stage_ == TStage::Auth && lastCode_ == 334) return true;
    return Verb(line) == "AUTH" && WordCount(line) > 2;
}

TCliExitStatus TSmtpStageTracker::FailureStatus(int useTls, int authType) const {
    if (!tcpConnected_ && !sessionOpened_) return cesConnect;
    if (useTls == ImplicitTls && !sessionOpened_) return cesTLS;
    if (failure_) return StageStatus(failure_->stage);
    if (stage_ != TStage::Hello || !Positive(lastCode_)) return StageStatus(stage_);
    // Hello accepted: what failed next sent no command of its own.
    if (useTls == RequireTls && !startTlsPassed_) return cesTLS;
    return authType != AuthNone ? cesAuthentication : cesGreeting;
}
