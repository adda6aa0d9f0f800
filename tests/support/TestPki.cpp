#include "tests/support/TestPki.h"

#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <stdexcept>

namespace {

constexpr long kDay = 86400;

std::string PemOf(X509* certificate) {
    BIO* bio = BIO_new(BIO_s_mem());
    PEM_write_bio_X509(bio, certificate);
    char* data = nullptr;
    const long size = BIO_get_mem_data(bio, &data);
    std::string text(data, static_cast<size_t>(size));
    BIO_free(bio);
    return text;
}

std::string PemOf(EVP_PKEY* key) {
    BIO* bio = BIO_new(BIO_s_mem());
    PEM_write_bio_PrivateKey(bio, key, nullptr, nullptr, 0, nullptr, nullptr);
    char* data = nullptr;
    const long size = BIO_get_mem_data(bio, &data);
    std::string text(data, static_cast<size_t>(size));
    BIO_free(bio);
    return text;
}

EVP_PKEY* NewKey() {
    EVP_PKEY* key = EVP_PKEY_Q_keygen(nullptr, nullptr, "EC", "P-256");
    if (key == nullptr) throw std::runtime_error("cannot make a test key");
    return key;
}

void AddExtension(X509* x, X509* issuer, int nid, const char* value) {
    X509V3_CTX ctx;
    X509V3_set_ctx_nodb(&ctx);
    X509V3_set_ctx(&ctx, issuer, x, nullptr, nullptr, 0);
    X509_EXTENSION* extension = X509V3_EXT_conf_nid(nullptr, &ctx, nid, value);
    if (extension == nullptr) throw std::runtime_error("bad test extension");
    X509_add_ext(x, extension, -1);
    X509_EXTENSION_free(extension);
}

struct TSpec {
    const char* commonName;
    const char* altNames;  // nullptr: a CA
    long startDays;
    long endDays;
    long endExtraSeconds = 0;
};

// issuer/issuerKey null: self-signed.
X509* Make(const TSpec& spec, EVP_PKEY* key, X509* issuer, EVP_PKEY* issuerKey, long serial) {
    X509* x = X509_new();
    X509_set_version(x, 2);
    ASN1_INTEGER_set(X509_get_serialNumber(x), serial);
    X509_gmtime_adj(X509_getm_notBefore(x), spec.startDays * kDay);
    X509_gmtime_adj(X509_getm_notAfter(x), spec.endDays * kDay + spec.endExtraSeconds);
    X509_set_pubkey(x, key);
    X509_NAME* name = X509_get_subject_name(x);
    X509_NAME_add_entry_by_txt(name, "O", MBSTRING_ASC, reinterpret_cast<const unsigned char*>("Sortello prove"), -1,
                               -1, 0);
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char*>(spec.commonName), -1,
                               -1, 0);
    X509_set_issuer_name(x, issuer != nullptr ? X509_get_subject_name(issuer) : name);
    X509* signer = issuer != nullptr ? issuer : x;
    if (spec.altNames == nullptr) {
        AddExtension(x, signer, NID_basic_constraints, "critical,CA:TRUE");
        AddExtension(x, signer, NID_key_usage, "critical,keyCertSign,cRLSign");
    } else {
        AddExtension(x, signer, NID_basic_constraints, "critical,CA:FALSE");
        AddExtension(x, signer, NID_subject_alt_name, spec.altNames);
    }
    AddExtension(x, signer, NID_subject_key_identifier, "hash");
    if (X509_sign(x, issuerKey != nullptr ? issuerKey : key, EVP_sha256()) <= 0)
        throw std::runtime_error("cannot sign a test certificate");
    return x;
}

constexpr const char* kNames = "DNS:mx.sortello.test,DNS:localhost,IP:127.0.0.1,IP:::1";

TTlsIdentity Leaf(const TSpec& spec, X509* ca, EVP_PKEY* caKey, long serial) {
    EVP_PKEY* key = NewKey();
    X509* x = Make(spec, key, ca, caKey, serial);
    TTlsIdentity identity{"", PemOf(x) + (ca != nullptr ? PemOf(ca) : ""), PemOf(key)};
    X509_free(x);
    EVP_PKEY_free(key);
    return identity;
}

}  // namespace

const TTestPki& TestPki() {
    static const TTestPki pki = [] {
        TTestPki p;
        EVP_PKEY* caKey = NewKey();
        X509* ca = Make({"Sortello test CA", nullptr, -1, 365}, caKey, nullptr, nullptr, 1);
        p.caPem = PemOf(ca);
        // Half a day more: 90 whole days left for the length of any run.
        p.valid = Leaf({"mx.sortello.test", kNames, -1, 90, kDay / 2}, ca, caKey, 2);
        p.expired = Leaf({"mx.sortello.test", kNames, -30, -1}, ca, caKey, 3);
        p.wrongName = Leaf({"wrong.sortello.test", "DNS:wrong.sortello.test", -1, 90, kDay / 2}, ca, caKey, 4);
        p.selfSigned = Leaf({"mx.sortello.test", kNames, -1, 90, kDay / 2}, nullptr, nullptr, 5);
        X509_free(ca);
        EVP_PKEY_free(caKey);
        return p;
    }();
    return pki;
}

TTlsIdentity ForName(TTlsIdentity identity, const std::string& name) {
    identity.name = name;
    return identity;
}
