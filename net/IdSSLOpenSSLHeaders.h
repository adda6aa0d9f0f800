// Run-time binding of libcrypto and libssl: the libraries are loaded at
// run time and every entry point is looked up by name, so nothing links
// against OpenSSL. The OpenSSL headers give the types and constants only.
#pragma once

#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <openssl/x509_vfy.h>
#include <openssl/x509v3.h>

#include <span>
#include <string>

#include "platform/DynamicLibrary.h"

enum class TIdSSLLibrary { Crypto, Ssl };

// Every entry point the handler calls, with the library that exports it.
#define ID_SSL_CALLED_ENTRY_POINTS(X)                 \
    X(Ssl, OPENSSL_init_ssl)                          \
    X(Ssl, TLS_method)                                \
    X(Ssl, TLS_client_method)                         \
    X(Ssl, TLS_server_method)                         \
    X(Ssl, SSL_CTX_new)                               \
    X(Ssl, SSL_CTX_free)                              \
    X(Ssl, SSL_CTX_ctrl)                              \
    X(Ssl, SSL_CTX_set_options)                       \
    X(Ssl, SSL_CTX_set_security_level)                \
    X(Ssl, SSL_CTX_set_default_passwd_cb)             \
    X(Ssl, SSL_CTX_set_default_passwd_cb_userdata)    \
    X(Ssl, SSL_CTX_set_default_verify_paths)          \
    X(Ssl, SSL_CTX_load_verify_locations)             \
    X(Ssl, SSL_CTX_use_certificate_file)              \
    X(Ssl, SSL_CTX_use_PrivateKey_file)               \
    X(Ssl, SSL_CTX_check_private_key)                 \
    X(Ssl, SSL_CTX_set_info_callback)                 \
    X(Ssl, SSL_CTX_set_cipher_list)                   \
    X(Ssl, SSL_CTX_set_verify)                        \
    X(Ssl, SSL_CTX_set_verify_depth)                  \
    X(Ssl, SSL_CTX_set_session_id_context)            \
    X(Ssl, SSL_load_client_CA_file)                   \
    X(Ssl, SSL_CTX_set_client_CA_list)                \
    X(Ssl, SSL_new)                                   \
    X(Ssl, SSL_free)                                  \
    X(Ssl, SSL_set_ex_data)                           \
    X(Ssl, SSL_get_ex_data)                           \
    X(Ssl, SSL_get_ex_data_X509_STORE_CTX_idx)        \
    X(Ssl, SSL_set_fd)                                \
    X(Ssl, SSL_connect)                               \
    X(Ssl, SSL_read)                                  \
    X(Ssl, SSL_write)                                 \
    X(Ssl, SSL_pending)                               \
    X(Ssl, SSL_get_error)                             \
    X(Ssl, SSL_shutdown)                              \
    X(Ssl, SSL_state_string_long)                     \
    X(Ssl, SSL_get_current_cipher)                    \
    X(Ssl, SSL_CIPHER_get_name)                       \
    X(Ssl, SSL_CIPHER_description)                    \
    X(Ssl, SSL_CIPHER_get_bits)                       \
    X(Ssl, SSL_CIPHER_get_version)                    \
    X(Ssl, SSL_get_version)                           \
    X(Ssl, SSL_get1_peer_certificate)                 \
    X(Ssl, SSL_ctrl)                                  \
    X(Ssl, SSL_get_verify_result)                     \
    X(Ssl, SSL_get_peer_cert_chain)                   \
    X(Crypto, ERR_clear_error)                        \
    X(Crypto, X509_STORE_CTX_get_current_cert)        \
    X(Crypto, X509_STORE_CTX_get_error)               \
    X(Crypto, X509_STORE_CTX_get_error_depth)         \
    X(Crypto, X509_STORE_CTX_get_ex_data)             \
    X(Crypto, X509_get_subject_name)                  \
    X(Crypto, X509_get_issuer_name)                   \
    X(Crypto, X509_NAME_oneline)                      \
    X(Crypto, X509_free)                              \
    X(Crypto, X509_get0_notBefore)                    \
    X(Crypto, X509_get0_notAfter)                     \
    X(Crypto, X509_digest)                            \
    X(Crypto, EVP_sha256)                             \
    X(Crypto, ASN1_TIME_to_tm)                        \
    X(Crypto, ASN1_TIME_diff)                         \
    X(Crypto, OPENSSL_sk_num)                         \
    X(Crypto, OPENSSL_sk_value)                       \
    X(Crypto, X509_verify_cert_error_string)          \
    X(Crypto, X509_check_host)                        \
    X(Crypto, X509_check_ip_asc)

// The typed entry points, filled by a successful LoadTLSLibraries.
struct TIdOpenSSLFunctions {
#define ID_SSL_MEMBER(library, name) decltype(&::name) name = nullptr;
    ID_SSL_CALLED_ENTRY_POINTS(ID_SSL_MEMBER)
#undef ID_SSL_MEMBER
};

// An entry point of the old interface that OpenSSL 3 no longer exports
// (it became a macro or was removed), what takes its place, and why.
struct TIdSSLEntryMapping {
    const char* legacyName;
    const char* replacement;  // empty: nothing is needed any more
    const char* reason;
};

// The one table of those mappings.
std::span<const TIdSSLEntryMapping> IdSSLEntryMappings();

// Loads both libraries and looks up every entry point; true when all
// required ones were found. Once loaded they stay loaded (later calls
// answer true at once). A failed load can be tried again.
bool LoadTLSLibraries();
bool TLSLibrariesLoaded();
// The table of a successful load; only valid while TLSLibrariesLoaded().
const TIdOpenSSLFunctions& IdSSL();
// Why the last load failed ("libssl.so.3: cannot open ..." or the missing
// entry point's name); empty after a successful load.
std::string TLSLoadFailure();

// Test hook: forget the loaded libraries and use these file names on the
// next load (for example a soname that does not exist). Only for tests:
// no context or session may be alive when it is called.
void SetTLSLibraryNames(const std::string& cryptoName, const std::string& sslName);
// The names OpenSSL 3 is installed under, and where they are looked for:
// on Windows the DLLs copied beside the program come first.
#ifdef _WIN32
inline constexpr const char* IdCryptoLibraryName = "libcrypto-3-x64.dll";
inline constexpr const char* IdSslLibraryName = "libssl-3-x64.dll";
inline constexpr TLibrarySearch IdSSLLibrarySearch = TLibrarySearch::ProgramFolderFirst;
#else
inline constexpr const char* IdCryptoLibraryName = "libcrypto.so.3";
inline constexpr const char* IdSslLibraryName = "libssl.so.3";
inline constexpr TLibrarySearch IdSSLLibrarySearch = TLibrarySearch::System;
#endif
