#include "tests/support/ScriptedSmtpServer.h"

#include "tests/support/TlsTestServer.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <thread>

namespace {
constexpr int kLineWaitMs = 5000;
constexpr int kDrainWaitMs = 10000;

bool HasPrefix(const std::string& row, const char* prefix, std::string& rest) {
    const std::string p(prefix);
    if (row.compare(0, p.size(), p) != 0) return false;
    rest = row.substr(p.size());
    return true;
}
}  // namespace

// One client connection: buffered line reading over the plain socket or,
// after a TLS row, over the TLS session.
class TScriptedSmtpServer::TConnection {
public:
    TConnection(TScriptedSmtpServer& owner, int fd) : owner_(owner), fd_(fd) {}

    void Play(const TScript& script) {
        for (const std::string& row : script)
            if (!PlayRow(row)) return;
        Drain();
    }

private:
    bool PlayRow(const std::string& row) {
        std::string rest;
        if (HasPrefix(row, "S: ", rest) || row == "S:") return Send(rest + "\r\n");
        if (HasPrefix(row, "RAW: ", rest)) return Send(rest);
        if (HasPrefix(row, "C: ", rest)) return Expect(rest);
        if (HasPrefix(row, "SKIP UNTIL: ", rest)) return SkipUntil(rest);
        if (HasPrefix(row, "PAUSE: ", rest)) {
            std::this_thread::sleep_for(std::chrono::milliseconds(std::stoi(rest)));
            return true;
        }
        if (row == "DATA") return ReadData();
        if (row == "TLS") return StartTls();
        if (row == "CLOSE") return false;
        if (row == "SILENT") {
            WaitForClose(false);
            return false;
        }
        owner_.AddFailure("bad script row '" + row + "'");
        return false;
    }

    bool Expect(const std::string& expected) {
        std::string line;
        if (!ReadLine(line, kLineWaitMs)) {
            owner_.AddFailure("expected '" + expected + "', got nothing");
            return false;
        }
        if (expected == "*" || line == expected) return true;
        owner_.AddFailure("expected '" + expected + "', got '" + line + "'");
        return false;
    }

    bool ReadData() {
        std::string text;
        std::string line;
        while (ReadLine(line, kLineWaitMs)) {
            if (line == ".") {
                owner_.AddMessage(text);
                return true;
            }
            text += line + "\r\n";
        }
        owner_.AddFailure("message text not ended by '.'");
        return false;
    }

    bool StartTls() {
        tls_ = std::make_unique<TTlsServerSession>(fd_, owner_.tls_);
        if (tls_->Accept()) {
            owner_.AddServerName(tls_->ServerName());
            return true;
        }
        owner_.AddFailure("TLS handshake failed");
        return false;
    }

    // Skips what the client sends until a line that ends with `text` (the
    // bytes of a failed TLS handshake may come first).
    bool SkipUntil(const std::string& text) {
        std::string line;
        while (ReadLine(line, kLineWaitMs))
            if (line.size() >= text.size() && line.compare(line.size() - text.size(), text.size(), text) == 0)
                return true;
        owner_.AddFailure("expected a line ending with '" + text + "', got nothing");
        return false;
    }

    // After the script: whatever the client still sends is unexpected.
    void Drain() { WaitForClose(true); }

    void WaitForClose(bool reportLines) {
        std::string line;
        const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(kDrainWaitMs);
        while (std::chrono::steady_clock::now() < until) {
            if (!ReadLine(line, kDrainWaitMs)) return;
            if (reportLines) owner_.AddFailure("unexpected '" + line + "'");
        }
    }

    bool Send(const std::string& bytes) { return tls_ ? tls_->Write(bytes) : TLoopbackServer::SendAll(fd_, bytes); }

    // A line without its LF and one CR before it; false on close or time-out.
    bool ReadLine(std::string& line, int timeoutMs) {
        for (;;) {
            const size_t lf = pending_.find('\n');
            if (lf != std::string::npos) {
                line = pending_.substr(0, lf);
                pending_.erase(0, lf + 1);
                if (!line.empty() && line.back() == '\r') line.pop_back();
                return true;
            }
            if (!Receive(timeoutMs)) return false;
        }
    }

    bool Receive(int timeoutMs) {
        const std::string chunk = tls_ ? tls_->ReadRecord(timeoutMs) : ReceivePlain(timeoutMs);
        if (chunk.empty()) return false;
        owner_.Record(chunk);
        pending_ += chunk;
        return true;
    }

    std::string ReceivePlain(int timeoutMs) {
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, timeoutMs) <= 0) return std::string();
        char buffer[65536];
        const ssize_t n = ::recv(fd_, buffer, sizeof buffer, 0);
        return n > 0 ? std::string(buffer, static_cast<size_t>(n)) : std::string();
    }

    TScriptedSmtpServer& owner_;
    int fd_;
    std::string pending_;
    std::unique_ptr<TTlsServerSession> tls_;
};

TScriptedSmtpServer::TScriptedSmtpServer(TScript script) : TScriptedSmtpServer(TSessions{{std::move(script)}}) {}

TScriptedSmtpServer::TScriptedSmtpServer(TSessions sessions) : scripts_(std::move(sessions.scripts)) {
    server_ = std::make_unique<TLoopbackServer>([this](int fd) { Serve(fd); }, static_cast<int>(scripts_.size()));
}

TScriptedSmtpServer::TScriptedSmtpServer(TScript script, TTlsServerConfig tls)
    : scripts_{std::move(script)}, tls_(std::move(tls)) {
    server_ = std::make_unique<TLoopbackServer>([this](int fd) { Serve(fd); }, 1);
}

TScriptedSmtpServer::~TScriptedSmtpServer() { server_.reset(); }

void TScriptedSmtpServer::Serve(int fd) {
    size_t index;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        index = static_cast<size_t>(connections_++);
    }
    TConnection(*this, fd).Play(scripts_.at(index));
    ::shutdown(fd, SHUT_RDWR);
}

void TScriptedSmtpServer::Record(const std::string& bytes) {
    std::lock_guard<std::mutex> lock(mutex_);
    received_ += bytes;
    reads_.push_back(bytes);
}

void TScriptedSmtpServer::AddFailure(const std::string& text) {
    std::lock_guard<std::mutex> lock(mutex_);
    failures_.push_back(text);
}

void TScriptedSmtpServer::AddMessage(const std::string& text) {
    std::lock_guard<std::mutex> lock(mutex_);
    messages_.push_back(text);
}

std::string TScriptedSmtpServer::Received() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return received_;
}

std::vector<std::string> TScriptedSmtpServer::Reads() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return reads_;
}

std::vector<std::string> TScriptedSmtpServer::Failures() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return failures_;
}

std::vector<std::string> TScriptedSmtpServer::Messages() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return messages_;
}

int TScriptedSmtpServer::Connections() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return connections_;
}

void TScriptedSmtpServer::AddServerName(const std::string& name) {
    std::lock_guard<std::mutex> lock(mutex_);
    serverNames_.push_back(name);
}

std::vector<std::string> TScriptedSmtpServer::ServerNames() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return serverNames_;
}
