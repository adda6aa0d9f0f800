#include "net/IdIOHandlerSocket.h"

#include <cerrno>
#include <climits>
#include <cstdlib>

#include "core/StringList.h"

namespace {
constexpr int TcpLevel = 6;    // IPPROTO_TCP
constexpr int TcpNoDelay = 1;  // TCP_NODELAY

// Whole-text decimal integer, as a port; false when it is none.
bool ParsePort(const std::string& text, int32_t& value) {
    if (text.empty()) return false;
    errno = 0;
    char* end = nullptr;
    const long number = std::strtol(text.c_str(), &end, 10);
    if (errno != 0 || *end != '\0' || number < INT32_MIN || number > INT32_MAX) return false;
    value = static_cast<int32_t>(number);
    return true;
}
}  // namespace

TIdIOHandlerSocket::TIdIOHandlerSocket(TComponent* owner) : TIdIOHandler(owner) {}

TIdIOHandlerSocket::~TIdIOHandlerSocket() {
    if (binding_ != nullptr) binding_->CloseSocket();
}

void TIdIOHandlerSocket::Open() {
    TIdIOHandler::Open();
    if (binding_ == nullptr) binding_ = std::make_unique<TIdSocketHandle>();
    else binding_->Reset(true);
    binding_->SetClientPortMin(boundPortMin_);
    binding_->SetClientPortMax(boundPortMax_);
    if (!Host().empty() && Port() > 0) ConnectSocket();
}

void TIdIOHandlerSocket::Close() {
    if (binding_ != nullptr) binding_->CloseSocket();
    TIdIOHandler::Close();
}

void TIdIOHandlerSocket::ConnectSocket() { PrepareSocket(ipVersion_); }

void TIdIOHandlerSocket::PrepareSocket(TIdIPVersion family) {
    if (onBeforeBind_) onBeforeBind_(this);
    // Another address tried after a failed one starts afresh too.
    binding_->Reset(true);
    binding_->SetIPVersion(family);
    binding_->AllocateSocket(Id_SOCK_STREAM, 0);
    if (onSocketAllocated_) onSocketAllocated_(this);
    if (!boundIP_.empty()) binding_->SetIP(boundIP_);
    binding_->SetPort(boundPort_);
    binding_->SetClientPortMin(boundPortMin_);
    binding_->SetClientPortMax(boundPortMax_);
    binding_->Bind();
    binding_->SetSockOpt(TcpLevel, TcpNoDelay, useNagle_ ? 0 : 1);
    if (onAfterBind_) onAfterBind_(this);
}

// "host:port" at the last colon; a port that is no number becomes
// DefaultPort; a text without a colon changes nothing.
void TIdIOHandlerSocket::SetDestination(const std::string& value) {
    const size_t colon = value.rfind(':');
    if (colon == std::string::npos) return;
    SetHost(value.substr(0, colon));
    int32_t port = 0;
    SetPort(ParsePort(Trim(value.substr(colon + 1, 255)), port) ? port : defaultPort_);
}

std::string TIdIOHandlerSocket::Destination() const {
    std::string text = Host();
    if (Port() > 0 && Port() != defaultPort_) text += ":" + std::to_string(Port());
    return text;
}
