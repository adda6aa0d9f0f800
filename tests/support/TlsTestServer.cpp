#include "tests/support/TlsTestServer.h"

#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/time.h>

#include <functional>
#include <stdexcept>

namespace {

struct TIdentity {
    EVP_PKEY* key = nullptr;
    X509* certificate = nullptr;
};

X509* SelfSigned(EVP_PKEY* key) {
    X509* x = X509_new();
    X509_set_version(x, 2);
    ASN1_INTEGER_set(X509_get_serialNumber(x), 1);
    X509_gmtime_adj(X509_getm_notBefore(x), -3600);
    X509_gmtime_adj(X509_getm_notAfter(x), 7 * 86400);
    X509_set_pubkey(x, key);
    X509_NAME* name = X509_get_subject_name(x);
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char*>("127.0.0.1"), -1, -1,
                               0);
    X509_set_issuer_name(x, name);
    if (X509_sign(x, key, EVP_sha256()) <= 0) throw std::runtime_error("cannot sign the test certificate");
    return x;
}

// Made once per process and kept until it ends.
const TIdentity& Identity() {
    static const TIdentity identity = [] {
        TIdentity id;
        // An EC key is made in a millisecond even on a loaded machine.
        id.key = EVP_PKEY_Q_keygen(nullptr, nullptr, "EC", "P-256");
        if (id.key == nullptr) throw std::runtime_error("cannot make the test key");
        id.certificate = SelfSigned(id.key);
        return id;
    }();
    return identity;
}

std::string Pem(const std::function<int(BIO*)>& write) {
    BIO* bio = BIO_new(BIO_s_mem());
    write(bio);
    char* data = nullptr;
    const long size = BIO_get_mem_data(bio, &data);
    std::string text(data, static_cast<size_t>(size));
    BIO_free(bio);
    return text;
}

SSL_CTX* ServerContext(const TTlsServerConfig& config) {
    SSL_CTX* ctx = SSL_CTX_new(TLS_server_method());
    if (ctx == nullptr) throw std::runtime_error("cannot make the server context");
    const TIdentity& id = Identity();
    SSL_CTX_use_certificate(ctx, id.certificate);
    SSL_CTX_use_PrivateKey(ctx, id.key);
    if (config.securityLevel >= 0) SSL_CTX_set_security_level(ctx, config.securityLevel);
    if (config.minVersion != 0) SSL_CTX_set_min_proto_version(ctx, config.minVersion);
    if (config.maxVersion != 0) SSL_CTX_set_max_proto_version(ctx, config.maxVersion);
    if (!config.cipherList.empty()) SSL_CTX_set_cipher_list(ctx, config.cipherList.c_str());
    SSL_CTX_set_options(ctx, SSL_OP_IGNORE_UNEXPECTED_EOF);
    return ctx;
}

// Loads a PEM identity (leaf, then its chain) onto a session.
bool UseIdentity(SSL* ssl, const TTlsIdentity& identity) {
    BIO* certificates = BIO_new_mem_buf(identity.certificatePem.data(), static_cast<int>(identity.certificatePem.size()));
    BIO* keyBio = BIO_new_mem_buf(identity.keyPem.data(), static_cast<int>(identity.keyPem.size()));
    X509* leaf = PEM_read_bio_X509(certificates, nullptr, nullptr, nullptr);
    EVP_PKEY* key = PEM_read_bio_PrivateKey(keyBio, nullptr, nullptr, nullptr);
    bool ok = leaf != nullptr && key != nullptr && SSL_use_certificate(ssl, leaf) == 1 &&
              SSL_use_PrivateKey(ssl, key) == 1;
    SSL_clear_chain_certs(ssl);
    while (X509* more = PEM_read_bio_X509(certificates, nullptr, nullptr, nullptr))
        ok = SSL_add0_chain_cert(ssl, more) == 1 && ok;
    X509_free(leaf);
    EVP_PKEY_free(key);
    BIO_free(certificates);
    BIO_free(keyBio);
    return ok;
}

// The identity whose name the client asked for; the first one otherwise.
int PickIdentity(SSL* ssl, int* /*alert*/, void* arg) {
    const auto& identities = *static_cast<const std::vector<TTlsIdentity>*>(arg);
    const char* asked = SSL_get_servername(ssl, TLSEXT_NAMETYPE_host_name);
    for (const TTlsIdentity& identity : identities)
        if (asked != nullptr && !identity.name.empty() && identity.name == asked)
            return UseIdentity(ssl, identity) ? SSL_TLSEXT_ERR_OK : SSL_TLSEXT_ERR_ALERT_FATAL;
    return SSL_TLSEXT_ERR_OK;
}

void SetSocketTimeouts(int fd, int timeoutMs) {
    timeval tv{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
}

void BlockSigPipeOnThisThread() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

}  // namespace

TTlsServerConfig TTlsServerConfig::Tls10Only() {
    TTlsServerConfig c;
    c.minVersion = TLS1_VERSION;
    c.maxVersion = TLS1_VERSION;
    c.securityLevel = 0;
    return c;
}

TTlsServerConfig TTlsServerConfig::Tls13Only() {
    TTlsServerConfig c;
    c.minVersion = TLS1_3_VERSION;
    c.maxVersion = TLS1_3_VERSION;
    return c;
}

TTlsServerConfig TTlsServerConfig::NoTls10() {
    TTlsServerConfig c;
    c.minVersion = TLS1_1_VERSION;
    c.securityLevel = 0;
    return c;
}

std::string TlsTestCertificatePem() {
    return Pem([](BIO* bio) { return PEM_write_bio_X509(bio, Identity().certificate); });
}

std::string TlsTestKeyPem(const std::string& password) {
    return Pem([&](BIO* bio) {
        const EVP_CIPHER* cipher = password.empty() ? nullptr : EVP_aes_256_cbc();
        auto* pass = reinterpret_cast<const unsigned char*>(password.data());
        return PEM_write_bio_PrivateKey(bio, Identity().key, cipher, pass, static_cast<int>(password.size()), nullptr,
                                        nullptr);
    });
}

namespace {
// Record headers seen arriving: 5 bytes, type 23 for encrypted records.
void NoteRecord(int written, int, int contentType, const void* bytes, size_t length, SSL*, void* lengths) {
    const auto* header = static_cast<const unsigned char*>(bytes);
    if (written || contentType != SSL3_RT_HEADER || length < 5 || header[0] != SSL3_RT_APPLICATION_DATA) return;
    static_cast<std::vector<size_t>*>(lengths)->push_back(static_cast<size_t>(header[3] << 8 | header[4]));
}
}  // namespace

TTlsServerSession::TTlsServerSession(int fd, const TTlsServerConfig& config) : fd_(fd) {
    BlockSigPipeOnThisThread();
    context_ = ServerContext(config);
    if (!config.identities.empty()) UseIdentities(config.identities);
    ssl_ = SSL_new(context_);
    SSL_set_fd(ssl_, fd_);
    SSL_set_msg_callback(ssl_, NoteRecord);
    SSL_set_msg_callback_arg(ssl_, &recordLengths_);
    if (!config.identities.empty() && !UseIdentity(ssl_, config.identities.front()))
        throw std::runtime_error("cannot load the test identity");
}

void TTlsServerSession::UseIdentities(const std::vector<TTlsIdentity>& identities) {
    identities_ = identities;
    SSL_CTX_set_tlsext_servername_callback(context_, PickIdentity);
    SSL_CTX_set_tlsext_servername_arg(context_, &identities_);
}

std::string TTlsServerSession::ServerName() const {
    const char* name = SSL_get_servername(ssl_, TLSEXT_NAMETYPE_host_name);
    return name != nullptr ? name : "";
}

TTlsServerSession::~TTlsServerSession() {
    SSL_free(ssl_);
    SSL_CTX_free(context_);
}

bool TTlsServerSession::Accept(int timeoutMs) {
    SetSocketTimeouts(fd_, timeoutMs);
    ERR_clear_error();
    return SSL_accept(ssl_) == 1;
}

bool TTlsServerSession::WaitReadable(int timeoutMs) const {
    if (SSL_pending(ssl_) > 0) return true;
    pollfd p{fd_, POLLIN, 0};
    return ::poll(&p, 1, timeoutMs) > 0;
}

std::string TTlsServerSession::ReadRecord(int timeoutMs) {
    if (!WaitReadable(timeoutMs)) return {};
    char buffer[65536];
    const int n = SSL_read(ssl_, buffer, sizeof buffer);
    return n > 0 ? std::string(buffer, static_cast<size_t>(n)) : std::string();
}

bool TTlsServerSession::ReadLine(std::string& line, int timeoutMs) {
    for (;;) {
        const size_t lf = pending_.find('\n');
        if (lf != std::string::npos) {
            line = pending_.substr(0, lf);
            pending_.erase(0, lf + 1);
            if (!line.empty() && line.back() == '\r') line.pop_back();
            return true;
        }
        const std::string more = ReadRecord(timeoutMs);
        if (more.empty()) return false;
        pending_ += more;
    }
}

std::string TTlsServerSession::ReadAll(int timeoutMs) {
    std::string data;
    data.swap(pending_);
    for (;;) {
        const std::string more = ReadRecord(timeoutMs);
        if (more.empty()) return data;
        data += more;
    }
}

bool TTlsServerSession::Write(const std::string& bytes) {
    ERR_clear_error();
    return bytes.empty() || SSL_write(ssl_, bytes.data(), static_cast<int>(bytes.size())) > 0;
}

void TTlsServerSession::SendCloseNotify() { SSL_shutdown(ssl_); }

std::string TTlsServerSession::Protocol() const { return SSL_get_version(ssl_); }

void MakeTlsTestIdentity() { Identity(); }

TTlsTestServer::TTlsTestServer(Script script, TTlsServerConfig config, int connections) {
    MakeTlsTestIdentity();
    server_ = std::make_unique<TLoopbackServer>(
        [this, script = std::move(script), config](int fd) {
            TTlsServerSession session(fd, config);
            if (!session.Accept()) {
                ++failedHandshakes_;
                return;
            }
            {
                std::lock_guard<std::mutex> guard(lock_);
                lastProtocol_ = session.Protocol();
                lastServerName_ = session.ServerName();
            }
            ++handshakes_;
            script(session);
        },
        connections);
}

std::string TTlsTestServer::LastProtocol() const {
    std::lock_guard<std::mutex> guard(lock_);
    return lastProtocol_;
}

std::string TTlsTestServer::LastServerName() const {
    std::lock_guard<std::mutex> guard(lock_);
    return lastServerName_;
}

void StallTlsHandshake(int fd, int holdMs) {
    char buffer[4096];
    for (;;) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, holdMs) <= 0) return;
        if (::recv(fd, buffer, sizeof buffer, 0) <= 0) return;
    }
}
