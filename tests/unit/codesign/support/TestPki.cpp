#include "support/TestPki.h"

#include <openssl/ec.h>
#include <openssl/pem.h>
#include <openssl/rand.h>
#include <openssl/x509v3.h>

#include <stdexcept>

namespace codesign::testpki {

namespace {

void check(bool ok, const char* what) {
  if (!ok) throw std::runtime_error(std::string("test PKI: ") + what + ": " + takeOpenSslError());
}

void addExtension(X509* cert, X509* issuer, int nid, const char* value) {
  X509V3_CTX ctx;
  X509V3_set_ctx_nodb(&ctx);
  X509V3_set_ctx(&ctx, issuer, cert, nullptr, nullptr, 0);
  X509_EXTENSION* ext = X509V3_EXT_conf_nid(nullptr, &ctx, nid, value);
  check(ext != nullptr, "extension");
  check(X509_add_ext(cert, ext, -1) == 1, "add extension");
  X509_EXTENSION_free(ext);
}

}  // namespace

PkeyPtr newKey() {
  PkeyPtr key(EVP_EC_gen("P-256"));
  check(key != nullptr, "key generation");
  return key;
}

X509Ptr ref(X509* cert) {
  X509_up_ref(cert);
  return X509Ptr(cert);
}

KeyAndCert makeCert(const std::string& commonName, const KeyAndCert* issuer,
                    const CertOptions& options) {
  KeyAndCert out{newKey(), X509Ptr(X509_new())};
  X509* cert = out.cert.get();
  check(cert != nullptr && X509_set_version(cert, 2) == 1, "version");
  unsigned char serial[8];
  check(RAND_bytes(serial, sizeof serial) == 1, "serial");
  serial[0] &= 0x7f;
  BIGNUM* bn = BN_bin2bn(serial, sizeof serial, nullptr);
  check(bn != nullptr && BN_to_ASN1_INTEGER(bn, X509_get_serialNumber(cert)) != nullptr, "serial");
  BN_free(bn);
  X509_NAME* name = X509_get_subject_name(cert);
  check(X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_UTF8,
                                   reinterpret_cast<const unsigned char*>(commonName.c_str()), -1,
                                   -1, 0) == 1,
        "subject");
  check(X509_NAME_add_entry_by_txt(name, "O", MBSTRING_UTF8,
                                   reinterpret_cast<const unsigned char*>("Tarquell"), -1, -1,
                                   0) == 1,
        "subject");
  X509* issuerCert = issuer ? issuer->cert.get() : cert;
  EVP_PKEY* issuerKey = issuer ? issuer->key.get() : out.key.get();
  check(X509_set_issuer_name(cert, X509_get_subject_name(issuerCert)) == 1, "issuer");
  check(X509_gmtime_adj(X509_getm_notBefore(cert), options.validFromDays * 86400L) != nullptr &&
            X509_gmtime_adj(X509_getm_notAfter(cert), options.validUntilDays * 86400L) != nullptr,
        "validity");
  check(X509_set_pubkey(cert, out.key.get()) == 1, "public key");
  addExtension(cert, issuerCert, NID_subject_key_identifier, "hash");
  if (options.ca) {
    addExtension(cert, issuerCert, NID_basic_constraints, "critical,CA:TRUE");
    addExtension(cert, issuerCert, NID_key_usage, "critical,keyCertSign,cRLSign");
  } else {
    addExtension(cert, issuerCert, NID_basic_constraints, "critical,CA:FALSE");
    addExtension(cert, issuerCert, NID_key_usage, "critical,digitalSignature");
    addExtension(cert, issuerCert, NID_ext_key_usage,
                 options.codeSigning ? "codeSigning" : "emailProtection");
  }
  check(X509_sign(cert, issuerKey, EVP_sha256()) > 0, "sign");
  return out;
}

std::string pem(X509* cert) {
  BioPtr bio(BIO_new(BIO_s_mem()));
  check(bio && PEM_write_bio_X509(bio.get(), cert) == 1, "PEM");
  char* data = nullptr;
  long len = BIO_get_mem_data(bio.get(), &data);
  return std::string(data, static_cast<std::size_t>(len));
}

std::string pem(EVP_PKEY* key) {
  BioPtr bio(BIO_new(BIO_s_mem()));
  check(bio && PEM_write_bio_PrivateKey(bio.get(), key, nullptr, nullptr, 0, nullptr, nullptr) == 1,
        "PEM");
  char* data = nullptr;
  long len = BIO_get_mem_data(bio.get(), &data);
  return std::string(data, static_cast<std::size_t>(len));
}

Anchor anchorOf(const KeyAndCert& ca) {
  auto anchor = Anchor::fromPem(pem(ca.cert.get()));
  check(anchor.has_value(), "anchor");
  return *anchor;
}

SigningIdentity identityOf(const KeyAndCert& leaf, const std::vector<const KeyAndCert*>& chain) {
  SigningIdentity id;
  id.cert = ref(leaf.cert.get());
  EVP_PKEY_up_ref(leaf.key.get());
  id.key.reset(leaf.key.get());
  for (const KeyAndCert* c : chain)
    id.intermediates.push_back(ref(c->cert.get()));
  return id;
}

}  // namespace codesign::testpki
