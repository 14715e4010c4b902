#include "shared/codesign/SignatureFormat.h"

#include <openssl/evp.h>

#include <algorithm>
#include <cstring>

#include "shared/codesign/OpenSslHandles.h"

namespace codesign {

namespace {

constexpr std::string_view kDirectoryMagic = "FXCD";
constexpr std::uint8_t kHashSha256 = 1;
constexpr std::size_t kDirectoryFixedSize = 4 + 1 + 1 + 2 + 8 + kHashSize;

void putBe(std::vector<std::uint8_t>& out, std::uint64_t value, int bytes) {
  for (int i = bytes - 1; i >= 0; --i)
    out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

std::uint64_t getBe(const std::uint8_t* p, int bytes) {
  std::uint64_t v = 0;
  for (int i = 0; i < bytes; ++i)
    v = (v << 8) | p[i];
  return v;
}

}  // namespace

std::array<std::uint8_t, kInfoSize> encodeInfo(const InfoBlock& info) {
  std::array<std::uint8_t, kInfoSize> out{};
  out[0] = kFormatVersion;
  out[1] = static_cast<std::uint8_t>(info.kind);
  for (int i = 0; i < 4; ++i)
    out[8 + i] = static_cast<std::uint8_t>(info.blobSize >> (8 * (3 - i)));
  return out;
}

Located locateSignature(const ByteSource& source) {
  Located loc;
  const std::uint64_t size = source.size();
  if (size < kTrailerSize) return loc;  // too short to carry a marker: plainly unsigned

  std::array<std::uint8_t, kTrailerSize> trailer{};
  std::string error;
  if (!source.readAt(size - kTrailerSize, trailer, error)) {
    loc.result = Located::Result::ReadError;
    loc.reason = error;
    return loc;
  }
  if (std::memcmp(trailer.data() + kInfoSize, kMarker.data(), kMarker.size()) != 0) return loc;

  loc.result = Located::Result::Malformed;
  const std::uint8_t* info = trailer.data();
  if (info[0] != kFormatVersion) {
    loc.reason = "unknown signature format version";
    return loc;
  }
  if (info[1] != static_cast<std::uint8_t>(BlobKind::Cms) &&
      info[1] != static_cast<std::uint8_t>(BlobKind::AdHoc)) {
    loc.reason = "unknown signature kind";
    return loc;
  }
  if (std::any_of(info + 2, info + 8, [](std::uint8_t b) { return b != 0; })) {
    loc.reason = "reserved bytes of the info block are not zero";
    return loc;
  }
  const std::uint64_t blobSize = getBe(info + 8, 4);
  if (blobSize == 0 || blobSize > kMaxBlobSize) {
    loc.reason = "signature length out of range";
    return loc;
  }
  // size >= kTrailerSize was checked above, so the subtraction cannot wrap.
  if (blobSize > size - kTrailerSize) {
    loc.reason = "signature length exceeds the file";
    return loc;
  }
  if (size - kTrailerSize - blobSize > kMaxCodeSize) {
    loc.reason = "the signed code is larger than any program this verifies";
    return loc;
  }
  loc.result = Located::Result::Found;
  loc.info.kind = static_cast<BlobKind>(info[1]);
  loc.info.blobSize = static_cast<std::uint32_t>(blobSize);
  loc.codeLimit = size - kTrailerSize - blobSize;
  return loc;
}

bool isValidIdentifier(std::string_view identifier) {
  if (identifier.empty() || identifier.size() > kMaxIdentifierSize) return false;
  return std::all_of(identifier.begin(), identifier.end(),
                     [](char c) { return c > 0x20 && c < 0x7f && c != '"' && c != '\\'; });
}

std::vector<std::uint8_t> encodeCodeDirectory(const CodeDirectory& directory) {
  std::vector<std::uint8_t> out(kDirectoryMagic.begin(), kDirectoryMagic.end());
  out.push_back(kFormatVersion);
  out.push_back(kHashSha256);
  putBe(out, directory.identifier.size(), 2);
  putBe(out, directory.codeLimit, 8);
  out.insert(out.end(), directory.hash.begin(), directory.hash.end());
  out.insert(out.end(), directory.identifier.begin(), directory.identifier.end());
  return out;
}

std::optional<CodeDirectory> parseCodeDirectory(std::span<const std::uint8_t> bytes) {
  if (bytes.size() < kDirectoryFixedSize) return std::nullopt;
  if (std::memcmp(bytes.data(), kDirectoryMagic.data(), kDirectoryMagic.size()) != 0)
    return std::nullopt;
  if (bytes[4] != kFormatVersion || bytes[5] != kHashSha256) return std::nullopt;
  const std::size_t idSize = static_cast<std::size_t>(getBe(bytes.data() + 6, 2));
  if (bytes.size() != kDirectoryFixedSize + idSize) return std::nullopt;
  CodeDirectory dir;
  dir.codeLimit = getBe(bytes.data() + 8, 8);
  std::memcpy(dir.hash.data(), bytes.data() + 16, kHashSize);
  dir.identifier.assign(reinterpret_cast<const char*>(bytes.data() + kDirectoryFixedSize), idSize);
  if (!isValidIdentifier(dir.identifier)) return std::nullopt;
  return dir;
}

bool hashPrefix(const ByteSource& source, std::uint64_t length,
                std::array<std::uint8_t, kHashSize>& out, std::string& error) {
  if (length > source.size()) {
    error = "hash range exceeds the file";
    return false;
  }
  MdCtxPtr ctx(EVP_MD_CTX_new());
  if (!ctx || EVP_DigestInit_ex(ctx.get(), EVP_sha256(), nullptr) != 1) {
    error = "cannot start SHA-256: " + takeOpenSslError();
    return false;
  }
  std::vector<std::uint8_t> buffer(1 << 16);
  std::uint64_t offset = 0;
  while (offset < length) {
    const std::size_t chunk =
        static_cast<std::size_t>(std::min<std::uint64_t>(buffer.size(), length - offset));
    std::span<std::uint8_t> part(buffer.data(), chunk);
    if (!source.readAt(offset, part, error)) return false;
    if (EVP_DigestUpdate(ctx.get(), part.data(), part.size()) != 1) {
      error = "SHA-256 failed: " + takeOpenSslError();
      return false;
    }
    offset += chunk;
  }
  unsigned int outLen = 0;
  if (EVP_DigestFinal_ex(ctx.get(), out.data(), &outLen) != 1 || outLen != kHashSize) {
    error = "SHA-256 failed: " + takeOpenSslError();
    return false;
  }
  return true;
}

}  // namespace codesign
