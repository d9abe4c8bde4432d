#include "support_net/test_pki.h"

#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <cstdio>
#include <memory>
#include <stdexcept>

namespace kvtest {
namespace {

struct Deleter {
    void operator()(EVP_PKEY* k) const { EVP_PKEY_free(k); }
    void operator()(X509* c) const { X509_free(c); }
    void operator()(FILE* f) const { std::fclose(f); }
};
using Key = std::unique_ptr<EVP_PKEY, Deleter>;
using Cert = std::unique_ptr<X509, Deleter>;

void Require(bool ok, const char* what) {
    if (!ok) throw std::runtime_error(std::string("test certificates: ") + what);
}

void AddExtension(X509* cert, X509* issuer, int nid, const std::string& value) {
    X509V3_CTX ctx;
    X509V3_set_ctx(&ctx, issuer, cert, nullptr, nullptr, 0);
    X509_EXTENSION* ext = X509V3_EXT_conf_nid(nullptr, &ctx, nid, value.c_str());
    Require(ext != nullptr, "extension");
    X509_add_ext(cert, ext, -1);
    X509_EXTENSION_free(ext);
}

// Signs a certificate for `key` named `cn`; a null issuer makes it self-signed.
Cert MakeCert(EVP_PKEY* key, const std::string& cn, X509* issuer, EVP_PKEY* issuerKey, long from,
              long until, bool isCa, const std::string& subjectAltName) {
    static long serial = 1;
    Cert cert(X509_new());
    X509_set_version(cert.get(), 2);
    ASN1_INTEGER_set(X509_get_serialNumber(cert.get()), serial++);
    X509_gmtime_adj(X509_getm_notBefore(cert.get()), from);
    X509_gmtime_adj(X509_getm_notAfter(cert.get()), until);
    X509_set_pubkey(cert.get(), key);
    X509_NAME* name = X509_get_subject_name(cert.get());
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                               reinterpret_cast<const unsigned char*>(cn.c_str()), -1, -1, 0);
    X509* signer = issuer ? issuer : cert.get();
    X509_set_issuer_name(cert.get(), X509_get_subject_name(signer));
    if (isCa) {
        AddExtension(cert.get(), signer, NID_basic_constraints, "critical,CA:TRUE");
        AddExtension(cert.get(), signer, NID_key_usage, "critical,keyCertSign,cRLSign");
        AddExtension(cert.get(), signer, NID_subject_key_identifier, "hash");
    } else {
        AddExtension(cert.get(), signer, NID_basic_constraints, "critical,CA:FALSE");
        AddExtension(cert.get(), signer, NID_ext_key_usage, "serverAuth");
        AddExtension(cert.get(), signer, NID_subject_alt_name, subjectAltName);
    }
    AddExtension(cert.get(), signer, NID_authority_key_identifier, "keyid:always");
    Require(X509_sign(cert.get(), issuerKey ? issuerKey : key, EVP_sha256()) > 0, "sign");
    return cert;
}

void WritePem(const std::string& file, EVP_PKEY* key, X509* first, X509* second = nullptr) {
    std::unique_ptr<FILE, Deleter> f(std::fopen(file.c_str(), "w"));
    Require(f != nullptr, "write");
    if (key) PEM_write_PrivateKey(f.get(), key, nullptr, nullptr, 0, nullptr, nullptr);
    if (first) PEM_write_X509(f.get(), first);
    if (second) PEM_write_X509(f.get(), second);
}

Key ReadKey(const std::string& file) {
    std::unique_ptr<FILE, Deleter> f(std::fopen(file.c_str(), "r"));
    Require(f != nullptr, "read");
    return Key(PEM_read_PrivateKey(f.get(), nullptr, nullptr, nullptr));
}

Cert ReadCert(const std::string& file) {
    std::unique_ptr<FILE, Deleter> f(std::fopen(file.c_str(), "r"));
    Require(f != nullptr, "read");
    return Cert(PEM_read_X509(f.get(), nullptr, nullptr, nullptr));
}

void MakeCa(const std::string& cn, const std::string& certFile, const std::string& keyFile) {
    Key key(EVP_EC_gen("P-256"));
    Require(key != nullptr, "key");
    Cert cert = MakeCert(key.get(), cn, nullptr, nullptr, -3600, 86400, true, {});
    WritePem(certFile, nullptr, cert.get());
    WritePem(keyFile, key.get(), nullptr);
}

}  // namespace

TestPki::TestPki(std::string folder)
    : folder_(std::move(folder)),
      caFile_(folder_ + "/ca.pem"),
      unknownCaFile_(folder_ + "/unknown-ca.pem") {
    MakeCa("Kestrivan Test CA", caFile_, folder_ + "/ca.key");
    MakeCa("Someone Else's CA", unknownCaFile_, folder_ + "/unknown-ca.key");
}

TestPki::Issued TestPki::Issue(const std::string& name, const std::string& subjectAltName,
                               bool byTrustedCa, long validFrom, long validUntil) const {
    const std::string caCert = byTrustedCa ? caFile_ : unknownCaFile_;
    const std::string caKey = byTrustedCa ? folder_ + "/ca.key" : folder_ + "/unknown-ca.key";
    Cert issuer = ReadCert(caCert);
    Key issuerKey = ReadKey(caKey);
    Require(issuer && issuerKey, "CA");
    Key key(EVP_EC_gen("P-256"));
    Require(key != nullptr, "key");
    Cert cert = MakeCert(key.get(), name, issuer.get(), issuerKey.get(), validFrom, validUntil,
                         false, subjectAltName);
    Issued out{folder_ + "/" + name + ".pem", folder_ + "/" + name + ".key"};
    WritePem(out.certFile, nullptr, cert.get(), issuer.get());
    WritePem(out.keyFile, key.get(), nullptr);
    return out;
}

}  // namespace kvtest
