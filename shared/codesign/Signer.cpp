#include "shared/codesign/Signer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <limits>

#include <openssl/err.h>

#include "shared/codesign/SignatureFormat.h"
#include "shared/process/UniqueFd.h"
#include "shared/process/WriteAll.h"

namespace codesign {

namespace {

std::optional<std::vector<std::uint8_t>> cmsBlob(std::span<const std::uint8_t> directory,
                                                 const SigningIdentity& identity,
                                                 std::string& error) {
  X509StackPtr extra(sk_X509_new_null());
  if (!extra) {
    error = "out of memory";
    return std::nullopt;
  }
  for (const X509Ptr& cert : identity.intermediates) {
    if (X509_up_ref(cert.get()) != 1) {
      error = "out of memory";
      return std::nullopt;
    }
    if (sk_X509_push(extra.get(), cert.get()) <= 0) {
      X509_free(cert.get());
      error = "out of memory";
      return std::nullopt;
    }
  }
  BioPtr data(BIO_new_mem_buf(directory.data(), static_cast<int>(directory.size())));
  CmsPtr cms(data ? CMS_sign(identity.cert.get(), identity.key.get(), extra.get(), data.get(),
                             CMS_BINARY | CMS_NOSMIMECAP)
                  : nullptr);
  if (!cms) {
    error = "CMS signing failed: " + takeOpenSslError();
    return std::nullopt;
  }
  int len = i2d_CMS_ContentInfo(cms.get(), nullptr);
  if (len <= 0 || static_cast<std::uint64_t>(len) > kMaxBlobSize) {
    error = "the signature cannot be encoded (too many or too large certificates?)";
    ERR_clear_error();
    return std::nullopt;
  }
  std::vector<std::uint8_t> der(static_cast<std::size_t>(len));
  unsigned char* p = der.data();
  if (i2d_CMS_ContentInfo(cms.get(), &p) != len) {
    error = "the signature cannot be encoded: " + takeOpenSslError();
    return std::nullopt;
  }
  return der;
}

}  // namespace

bool codeLength(const ByteSource& source, std::uint64_t& length, std::string& error) {
  Located loc = locateSignature(source);
  switch (loc.result) {
    case Located::Result::NotSigned:
      length = source.size();
      return true;
    case Located::Result::Found:
      length = loc.codeLimit;
      return true;
    case Located::Result::Malformed:
      error = "the file carries a damaged signature: " + loc.reason;
      return false;
    case Located::Result::ReadError:
      error = loc.reason;
      return false;
  }
  return false;
}

std::optional<std::vector<std::uint8_t>> makeSignature(const ByteSource& source,
                                                       std::uint64_t codeLimit,
                                                       const std::string& identifier,
                                                       const SigningIdentity* identity,
                                                       std::string& error) {
  if (!isValidIdentifier(identifier)) {
    error = "the identifier must be 1 to 255 printable characters without quotes or backslashes";
    return std::nullopt;
  }
  CodeDirectory dir;
  dir.identifier = identifier;
  dir.codeLimit = codeLimit;
  if (!hashPrefix(source, codeLimit, dir.hash, error)) return std::nullopt;
  std::vector<std::uint8_t> blob = encodeCodeDirectory(dir);
  InfoBlock info;
  info.kind = BlobKind::AdHoc;
  if (identity != nullptr) {
    auto signedBlob = cmsBlob(blob, *identity, error);
    if (!signedBlob) return std::nullopt;
    blob = std::move(*signedBlob);
    info.kind = BlobKind::Cms;
  }
  info.blobSize = static_cast<std::uint32_t>(blob.size());
  auto infoBytes = encodeInfo(info);
  blob.insert(blob.end(), infoBytes.begin(), infoBytes.end());
  blob.insert(blob.end(), kMarker.begin(), kMarker.end());
  return blob;
}

std::optional<std::vector<std::uint8_t>> signBytes(std::span<const std::uint8_t> bytes,
                                                   const std::string& identifier,
                                                   const SigningIdentity* identity,
                                                   std::string& error) {
  MemorySource source(bytes);
  std::uint64_t length = 0;
  if (!codeLength(source, length, error)) return std::nullopt;
  auto signature = makeSignature(source, length, identifier, identity, error);
  if (!signature) return std::nullopt;
  std::vector<std::uint8_t> out(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(length));
  out.insert(out.end(), signature->begin(), signature->end());
  return out;
}

bool signFile(const std::string& path, const std::string& identifier,
              const SigningIdentity* identity, std::string& error) {
  proc::UniqueFd in(open(path.c_str(), O_RDONLY | O_CLOEXEC));
  struct stat st {};
  if (!in.valid() || fstat(in.get(), &st) != 0) {
    error = "cannot open " + path + ": " + std::strerror(errno);
    return false;
  }
  bool ok = false;
  FdSource source(in.get(), ok, error);
  std::uint64_t length = 0;
  if (!ok || !codeLength(source, length, error)) return false;
  auto signature = makeSignature(source, length, identifier, identity, error);
  if (!signature) return false;

  std::string temp = path + ".signing-XXXXXX";
  proc::UniqueFd out(mkostemp(temp.data(), O_CLOEXEC));
  if (!out.valid()) {
    error = "cannot create a file beside " + path + ": " + std::strerror(errno);
    return false;
  }
  auto writeAll = [&](const std::uint8_t* p, std::size_t n) {
    return proc::writeAll(out.get(), {reinterpret_cast<const char*>(p), n});
  };
  std::vector<std::uint8_t> buffer(1 << 16);
  bool written = true;
  for (std::uint64_t offset = 0; written && offset < length;) {
    std::size_t chunk =
        static_cast<std::size_t>(std::min<std::uint64_t>(buffer.size(), length - offset));
    std::span<std::uint8_t> part(buffer.data(), chunk);
    written = source.readAt(offset, part, error) && writeAll(part.data(), chunk);
    offset += chunk;
  }
  written = written && writeAll(signature->data(), signature->size()) &&
            fchmod(out.get(), st.st_mode & 07777) == 0 && fsync(out.get()) == 0 && out.close() == 0;
  if (!written || rename(temp.c_str(), path.c_str()) != 0) {
    if (error.empty()) error = "cannot write " + path + ": " + std::strerror(errno);
    unlink(temp.c_str());
    return false;
  }
  return true;
}

}  // namespace codesign
