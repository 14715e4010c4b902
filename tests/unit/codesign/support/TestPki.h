// Throwaway keys and certificates made in memory for the signing tests: an anchor, a developer
// certificate under it, and the look-alikes an attacker would make.
#pragma once

#include <string>
#include <vector>

#include "shared/codesign/Certificate.h"
#include "shared/codesign/OpenSslHandles.h"

namespace codesign::testpki {

inline constexpr const char* kDeveloperCN = "Developer ID Application: Tarquell (QZ4K8WD2RM)";
inline constexpr const char* kAnchorCN = "Ferrolux Test Anchor";

struct CertOptions {
  bool ca = false;
  bool codeSigning = true;     // leaf extended key usage
  long validFromDays = -1;     // relative to now
  long validUntilDays = 3650;  // relative to now
};

struct KeyAndCert {
  PkeyPtr key;
  X509Ptr cert;
};

PkeyPtr newKey();
// Issued by `issuer` (self-signed when null).
KeyAndCert makeCert(const std::string& commonName, const KeyAndCert* issuer,
                    const CertOptions& options = {});
X509Ptr ref(X509* cert);
std::string pem(X509* cert);
std::string pem(EVP_PKEY* key);
Anchor anchorOf(const KeyAndCert& ca);
SigningIdentity identityOf(const KeyAndCert& leaf,
                           const std::vector<const KeyAndCert*>& chain = {});

// A complete anchor plus developer certificate, as the build generates.
struct TestChain {
  KeyAndCert anchor = makeCert(kAnchorCN, nullptr, {.ca = true});
  KeyAndCert developer = makeCert(kDeveloperCN, &anchor);
  Anchor trust() const { return anchorOf(anchor); }
  SigningIdentity identity() const { return identityOf(developer); }
};

}  // namespace codesign::testpki
