// Certificates as plain values (DER plus the subject fields requirements look at), the trust
// anchor a build is configured with, and loading of signing material from PEM.
#pragma once

#include <openssl/x509.h>

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "shared/codesign/OpenSslHandles.h"

namespace codesign {

struct Certificate {
  std::vector<unsigned char> der;
  std::string subjectCommonName;
  std::string subjectOrganization;
  std::string subjectOrganizationalUnit;

  // Two certificates are the same when their encodings are byte for byte the same.
  friend bool operator==(const Certificate& a, const Certificate& b) { return a.der == b.der; }
};

std::optional<Certificate> describeCertificate(X509* cert);

// The one certificate signatures must chain to. Nothing else is ever trusted.
class Anchor {
 public:
  static std::optional<Anchor> fromPem(std::string_view pem, std::string* error = nullptr);
  static std::optional<Anchor> fromPemFile(const std::string& path, std::string* error = nullptr);
  X509* cert() const { return cert_.get(); }

 private:
  explicit Anchor(std::shared_ptr<X509> cert) : cert_(std::move(cert)) {}
  std::shared_ptr<X509> cert_;
};

// A certificate, its private key and the intermediates to embed beside it.
struct SigningIdentity {
  X509Ptr cert;
  PkeyPtr key;
  std::vector<X509Ptr> intermediates;
};

// `certPem` holds the signing certificate first, then any intermediates.
std::optional<SigningIdentity> loadSigningIdentity(std::string_view certPem,
                                                   std::string_view keyPem, std::string& error);
bool readWholeFile(const std::string& path, std::string& out, std::string& error);

}  // namespace codesign
