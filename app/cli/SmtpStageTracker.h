// Follows an SMTP session line by line to tell at which stage it failed:
// the stage of the command whose reply failed first (replies are matched
// to commands in order, so a pipelined batch is judged reply by reply),
// else the stage of the last command sent (QUIT aside), judged together
// with whether the TCP connection and, for implicit TLS, the handshake
// came up. Also knows which client lines carry credentials.
#pragma once

#include <deque>
#include <optional>
#include <string>

#include "app/cli/CliOptions.h"

class TSmtpStageTracker {
public:
    enum class TStage { None, Hello, StartTls, Auth, Envelope, Data };

    // The TCP connection is up (before any TLS handshake).
    void TcpConnected() { tcpConnected_ = true; }
    // The client is established: greeting next (after implicit TLS).
    void SessionOpened() { sessionOpened_ = true; }
    void ClientLine(const std::string& line);
    void ServerLine(const std::string& line);

    // An AUTH continuation (user name, password, SASL response) or an
    // AUTH command with an initial response.
    bool CarriesCredentials(const std::string& line) const;

    // The status for a session that did not reach its goal.
    // useTls, authType: the radio positions the session ran with.
    TCliExitStatus FailureStatus(int useTls, int authType) const;

    TStage Stage() const { return stage_; }

private:
    bool InMessageText() const { return stage_ == TStage::Data && lastCode_ == 354; }
    void Answered(int code);

    // A command still waiting for its reply: its stage (none for QUIT and
    // the like) and how many replies had come when it was sent.
    struct TPending {
        std::optional<TStage> stage;
        int repliesBefore = 0;
    };
    // The first failed reply the client did not go on from.
    struct TFailure {
        TStage stage;
        int reply;  // its place among the replies
    };

    bool tcpConnected_ = false;
    bool sessionOpened_ = false;
    bool startTlsPassed_ = false;  // an EHLO went out after STARTTLS
    TStage stage_ = TStage::None;
    int lastCode_ = 0;  // final reply code to the last command, 0 until it came
    std::deque<TPending> pending_;
    int replies_ = 0;
    std::optional<TFailure> failure_;
};
