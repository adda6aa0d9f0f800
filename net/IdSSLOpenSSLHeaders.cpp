#include "net/IdSSLOpenSSLHeaders.h"

#include <mutex>

namespace {

// Entry points of the old interface that OpenSSL 3 no longer exports, and
// what this loader uses in their place. None of them is required.
constexpr TIdSSLEntryMapping kMappings[] = {
    {"SSL_library_init", "OPENSSL_init_ssl", "a macro over OPENSSL_init_ssl since 1.1.0"},
    {"SSL_load_error_strings", "OPENSSL_init_ssl", "a macro; OPENSSL_init_ssl with the string flags loads them"},
    {"RAND_screen", "", "Windows-only seeding; OpenSSL 3 seeds itself from the operating system"},
    {"CRYPTO_num_locks", "", "a macro answering 1; the library does its own locking since 1.1.0"},
    {"CRYPTO_set_locking_callback", "", "a no-op macro; no lock list is needed"},
    {"CRYPTO_set_id_callback", "", "removed; the library knows its threads itself"},
    {"SSLv2_method", "TLS_method", "SSLv2 was removed; the version-flexible method"},
    {"SSLv2_client_method", "TLS_client_method", "SSLv2 was removed; the version-flexible method"},
    {"SSLv2_server_method", "TLS_server_method", "SSLv2 was removed; the version-flexible method"},
    {"SSLv23_method", "TLS_method", "renamed; the old name is a macro"},
    {"SSLv23_client_method", "TLS_client_method", "renamed; the old name is a macro"},
    {"SSLv23_server_method", "TLS_server_method", "renamed; the old name is a macro"},
    {"SSLv3_method", "TLS_method", "SSLv3 is not built into OpenSSL 3; the version-flexible method"},
    {"SSLv3_client_method", "TLS_client_method", "SSLv3 is not built into OpenSSL 3; the version-flexible method"},
    {"SSLv3_server_method", "TLS_server_method", "SSLv3 is not built into OpenSSL 3; the version-flexible method"},
    {"TLSv1_method", "TLS_method + SSL_CTX_ctrl", "deprecated fixed-version method; version-flexible pinned to TLS 1.0"},
    {"TLSv1_client_method", "TLS_client_method + SSL_CTX_ctrl",
     "deprecated fixed-version method; version-flexible pinned to TLS 1.0"},
    {"TLSv1_server_method", "TLS_server_method + SSL_CTX_ctrl",
     "deprecated fixed-version method; version-flexible pinned to TLS 1.0"},
    {"SSL_CTX_set_info_callback_vorn", "SSL_CTX_set_info_callback", "wrapper export of the Windows build only"},
    {"X509_STORE_CTX_get_app_data_vorn", "X509_STORE_CTX_get_ex_data",
     "macro over the store's ex data at the session index"},
    {"SSL_SESSION_get_id_vorn", "SSL_SESSION_get_id", "wrapper over a structure field; now a function"},
    {"SSL_SESSION_get_id_ctx_vorn", "SSL_SESSION_get0_id_context", "wrapper over a structure field; now a function"},
    {"SSL_CTX_get_version_vorn", "SSL_CTX_get_ssl_method", "wrapper over a structure field; now a function"},
    {"SSL_CTX_get_options_vorn", "SSL_CTX_get_options", "wrapper over a macro; now a function"},
    {"X509_get_notBefore_vorn", "X509_get0_notBefore", "wrapper over a structure field; now a function"},
    {"X509_get_notAfter_vorn", "X509_get0_notAfter", "wrapper over a structure field; now a function"},
    {"SSL_get_peer_certificate", "SSL_get1_peer_certificate", "a macro since 3.0"},
    {"X509_NAME_hash", "X509_NAME_hash_ex", "a macro since 3.0"},
    {"des_set_odd_parity", "", "DES is no part of a TLS client; only deprecated DES_ names remain"},
    {"des_set_key", "", "DES is no part of a TLS client; only deprecated DES_ names remain"},
    {"des_ecb_encrypt", "", "DES is no part of a TLS client; only deprecated DES_ names remain"},
    {"ERR_load_ERR_strings", "", "deprecated; error strings load on demand"},
    {"ERR_load_CRYPTO_strings", "", "deprecated; error strings load on demand"},
    {"ERR_free_strings", "", "a no-op macro since 1.1.0"},
    {"ERR_func_error_string", "", "deprecated; answers no text since 3.0"},
};

struct TIdLookupName {
    TIdSSLLibrary library;
    const char* name;
};

// Looked up and required although nothing here calls them: a library that
// lacks them is not the OpenSSL this program was written for.
constexpr TIdLookupName kRequiredUncalled[] = {
    {TIdSSLLibrary::Ssl, "SSL_accept"},
    {TIdSSLLibrary::Ssl, "SSL_peek"},
    {TIdSSLLibrary::Ssl, "SSL_set_connect_state"},
    {TIdSSLLibrary::Ssl, "SSL_set_accept_state"},
    {TIdSSLLibrary::Ssl, "SSL_set_shutdown"},
    {TIdSSLLibrary::Ssl, "SSL_get_session"},
    {TIdSSLLibrary::Ssl, "SSL_CTX_get_verify_depth"},
    {TIdSSLLibrary::Ssl, "SSL_SESSION_get_id"},
    {TIdSSLLibrary::Ssl, "SSL_SESSION_get0_id_context"},
    {TIdSSLLibrary::Ssl, "SSL_CTX_get_ssl_method"},
    {TIdSSLLibrary::Ssl, "SSL_CTX_get_options"},
    {TIdSSLLibrary::Crypto, "X509_set_issuer_name"},
    {TIdSSLLibrary::Crypto, "X509_set_subject_name"},
    {TIdSSLLibrary::Crypto, "X509_STORE_CTX_set_error"},
    {TIdSSLLibrary::Crypto, "ERR_get_error"},
    {TIdSSLLibrary::Crypto, "ERR_peek_error"},
    {TIdSSLLibrary::Crypto, "ERR_error_string"},
    {TIdSSLLibrary::Crypto, "ERR_error_string_n"},
    {TIdSSLLibrary::Crypto, "ERR_lib_error_string"},
    {TIdSSLLibrary::Crypto, "ERR_reason_error_string"},
};

// The libraries are never closed at program end: OpenSSL runs its own
// clean-up from an exit handler, which must still find its code mapped.
struct TIdLoaderState {
    std::mutex lock;
    std::string cryptoName = IdCryptoLibraryName;
    std::string sslName = IdSslLibraryName;
    TLibraryHandle crypto = nullptr;
    TLibraryHandle ssl = nullptr;
    bool loaded = false;
    std::string failure;
    TIdOpenSSLFunctions functions;
};

TIdLoaderState& State() {
    static TIdLoaderState state;
    return state;
}

TLibraryHandle OpenLibrary(const std::string& name, std::string& failure) {
    TLibraryHandle handle = LoadDynamicLibrary(name, IdSSLLibrarySearch);
    if (handle == nullptr && failure.empty()) {
        const std::string why = DynamicLibraryError();
        failure = !why.empty() ? why : name;
    }
    return handle;
}

void* Lookup(TIdLoaderState& s, TIdSSLLibrary library, const char* name) {
    void* symbol = FindLibrarySymbol(library == TIdSSLLibrary::Ssl ? s.ssl : s.crypto, name);
    if (symbol == nullptr && s.failure.empty()) s.failure = std::string("missing entry point ") + name;
    return symbol;
}

bool LookupAll(TIdLoaderState& s) {
    TIdOpenSSLFunctions& f = s.functions;
#define ID_SSL_LOOKUP(library, name) \
    f.name = reinterpret_cast<decltype(f.name)>(Lookup(s, TIdSSLLibrary::library, #name));
    ID_SSL_CALLED_ENTRY_POINTS(ID_SSL_LOOKUP)
#undef ID_SSL_LOOKUP
    for (const TIdLookupName& entry : kRequiredUncalled) Lookup(s, entry.library, entry.name);
    return s.failure.empty();
}

void CloseLibraries(TIdLoaderState& s) {
    FreeDynamicLibrary(s.ssl);
    FreeDynamicLibrary(s.crypto);
    s.ssl = nullptr;
    s.crypto = nullptr;
    s.loaded = false;
    s.functions = TIdOpenSSLFunctions{};
}

}  // namespace

std::span<const TIdSSLEntryMapping> IdSSLEntryMappings() { return kMappings; }

bool LoadTLSLibraries() {
    TIdLoaderState& s = State();
    std::lock_guard<std::mutex> guard(s.lock);
    if (s.loaded) return true;
    s.failure.clear();
    if (s.crypto == nullptr) s.crypto = OpenLibrary(s.cryptoName, s.failure);
    if (s.ssl == nullptr) s.ssl = OpenLibrary(s.sslName, s.failure);
    if (s.crypto == nullptr || s.ssl == nullptr || !LookupAll(s)) {
        CloseLibraries(s);
        return false;
    }
    // Takes the place of SSL_library_init and SSL_load_error_strings.
    if (s.functions.OPENSSL_init_ssl(OPENSSL_INIT_LOAD_SSL_STRINGS | OPENSSL_INIT_LOAD_CRYPTO_STRINGS, nullptr) != 1) {
        s.failure = "OPENSSL_init_ssl failed";
        CloseLibraries(s);
        return false;
    }
    s.loaded = true;
    return true;
}

bool TLSLibrariesLoaded() {
    TIdLoaderState& s = State();
    std::lock_guard<std::mutex> guard(s.lock);
    return s.loaded;
}

const TIdOpenSSLFunctions& IdSSL() { return State().functions; }

std::string TLSLoadFailure() {
    TIdLoaderState& s = State();
    std::lock_guard<std::mutex> guard(s.lock);
    return s.failure;
}

void SetTLSLibraryNames(const std::string& cryptoName, const std::string& sslName) {
    TIdLoaderState& s = State();
    std::lock_guard<std::mutex> guard(s.lock);
    CloseLibraries(s);
    s.cryptoName = cryptoName;
    s.sslName = sslName;
    s.failure.clear();
}
