#include "shared/codesign/Certificate.h"

#include <fcntl.h>
#include <openssl/err.h>
#include <openssl/pem.h>
#include <unistd.h>

#include <cerrno>
#include <limits>

namespace codesign {

std::string takeOpenSslError() {
  unsigned long code = ERR_get_error();
  std::string text = "unknown error";
  if (code != 0) {
    char buf[256];
    ERR_error_string_n(code, buf, sizeof buf);
    text = buf;
  }
  ERR_clear_error();
  return text;
}

namespace {

std::string subjectField(X509* cert, int nid) {
  X509_NAME* name = X509_get_subject_name(cert);
  if (name == nullptr) return {};
  // A name with the field twice is ambiguous; requirements then see none rather than a guess.
  int index = X509_NAME_get_index_by_NID(name, nid, -1);
  if (index < 0 || X509_NAME_get_index_by_NID(name, nid, index) >= 0) return {};
  ASN1_STRING* data = X509_NAME_ENTRY_get_data(X509_NAME_get_entry(name, index));
  unsigned char* utf8 = nullptr;
  int len = ASN1_STRING_to_UTF8(&utf8, data);
  if (len < 0) return {};
  std::string out(reinterpret_cast<char*>(utf8), static_cast<std::size_t>(len));
  OPENSSL_free(utf8);
  return out;
}

BioPtr memoryBio(std::string_view text) {
  if (text.size() > static_cast<std::size_t>(std::numeric_limits<int>::max())) return nullptr;
  return BioPtr(BIO_new_mem_buf(text.data(), static_cast<int>(text.size())));
}

}  // namespace

std::optional<Certificate> describeCertificate(X509* cert) {
  Certificate out;
  int len = i2d_X509(cert, nullptr);
  if (len <= 0) return std::nullopt;
  out.der.resize(static_cast<std::size_t>(len));
  unsigned char* p = out.der.data();
  if (i2d_X509(cert, &p) != len) return std::nullopt;
  out.subjectCommonName = subjectField(cert, NID_commonName);
  out.subjectOrganization = subjectField(cert, NID_organizationName);
  out.subjectOrganizationalUnit = subjectField(cert, NID_organizationalUnitName);
  return out;
}

std::optional<Anchor> Anchor::fromPem(std::string_view pem, std::string* error) {
  BioPtr bio = memoryBio(pem);
  X509* cert = bio ? PEM_read_bio_X509(bio.get(), nullptr, nullptr, nullptr) : nullptr;
  if (cert == nullptr) {
    std::string why = "no certificate in the anchor: " + takeOpenSslError();
    if (error) *error = why;
    return std::nullopt;
  }
  return Anchor(std::shared_ptr<X509>(cert, X509_free));
}

std::optional<Anchor> Anchor::fromPemFile(const std::string& path, std::string* error) {
  std::string text, why;
  if (!readWholeFile(path, text, why)) {
    if (error) *error = why;
    return std::nullopt;
  }
  return fromPem(text, error);
}

std::optional<SigningIdentity> loadSigningIdentity(std::string_view certPem,
                                                   std::string_view keyPem, std::string& error) {
  SigningIdentity id;
  BioPtr certs = memoryBio(certPem);
  if (!certs) {
    error = "certificate text too large";
    return std::nullopt;
  }
  id.cert.reset(PEM_read_bio_X509(certs.get(), nullptr, nullptr, nullptr));
  if (!id.cert) {
    error = "no signing certificate: " + takeOpenSslError();
    return std::nullopt;
  }
  while (X509* more = PEM_read_bio_X509(certs.get(), nullptr, nullptr, nullptr))
    id.intermediates.emplace_back(more);
  ERR_clear_error();  // the loop ends on the expected "no start line"

  BioPtr key = memoryBio(keyPem);
  if (key) id.key.reset(PEM_read_bio_PrivateKey(key.get(), nullptr, nullptr, nullptr));
  if (!id.key) {
    error = "no private key: " + takeOpenSslError();
    return std::nullopt;
  }
  if (X509_check_private_key(id.cert.get(), id.key.get()) != 1) {
    error = "the private key does not belong to the certificate";
    ERR_clear_error();
    return std::nullopt;
  }
  return id;
}

// Plain reads rather than a file stream: the helper links this file, and a stream would bring
// the C++ locale machinery into a process whose memory is counted.
bool readWholeFile(const std::string& path, std::string& out, std::string& error) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    error = "cannot open " + path;
    return false;
  }
  out.clear();
  char buf[16384];
  for (;;) {
    const ssize_t n = ::read(fd, buf, sizeof buf);
    if (n > 0) {
      out.append(buf, static_cast<size_t>(n));
    } else if (n == 0) {
      break;
    } else if (errno != EINTR) {
      ::close(fd);
      error = "cannot read " + path;
      return false;
    }
  }
  ::close(fd);
  return true;
}

}  // namespace codesign
