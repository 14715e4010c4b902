// Layout of a signed executable: the program's own bytes, then the signature blob, a fixed-size
// info block giving the blob's length, and a fixed marker at the very end. The loader ignores
// anything after the program's last segment, so a signed program still runs.
//
//   [code bytes][blob][info block: 12 bytes][marker]
//
// The blob is a DER CMS SignedData whose content is the code directory, or, for an ad-hoc
// signature (integrity without identity), the bare code directory. The code directory names the
// signing identifier, how many bytes precede the blob, and their SHA-256.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "shared/codesign/ByteSource.h"

namespace codesign {

inline constexpr std::string_view kMarker = "~Ferrolux signature appended~\n";
inline constexpr std::size_t kInfoSize = 12;
inline constexpr std::size_t kTrailerSize = kInfoSize + kMarker.size();
// A signature with a few certificates is a few kilobytes; anything larger is not one of ours.
inline constexpr std::uint32_t kMaxBlobSize = 256 * 1024;
// Hashing is the one cost that grows with the file; a peer cannot make the helper hash more.
// Our largest program, a debug build of the application, is a small fraction of this.
inline constexpr std::uint64_t kMaxCodeSize = std::uint64_t{256} << 20;
inline constexpr std::uint8_t kFormatVersion = 1;
inline constexpr std::size_t kMaxIdentifierSize = 255;
inline constexpr std::size_t kHashSize = 32;

enum class BlobKind : std::uint8_t { Cms = 1, AdHoc = 2 };

struct InfoBlock {
  BlobKind kind = BlobKind::Cms;
  std::uint32_t blobSize = 0;
};

std::array<std::uint8_t, kInfoSize> encodeInfo(const InfoBlock& info);

// Where the signature of a file lies. `codeLimit` is the number of bytes it covers (and the
// blob's offset).
struct Located {
  enum class Result { Found, NotSigned, Malformed, ReadError } result = Result::NotSigned;
  std::string reason;
  InfoBlock info;
  std::uint64_t codeLimit = 0;
};

// Reads only the trailer; every length is checked against the file's size before use.
Located locateSignature(const ByteSource& source);

struct CodeDirectory {
  std::string identifier;
  std::uint64_t codeLimit = 0;
  std::array<std::uint8_t, kHashSize> hash{};
};

std::vector<std::uint8_t> encodeCodeDirectory(const CodeDirectory& directory);
// Exact parse: wrong magic, version, hash type, identifier, or any byte too many or too few
// gives nothing.
std::optional<CodeDirectory> parseCodeDirectory(std::span<const std::uint8_t> bytes);

// Identifiers are printable ASCII without quotes or backslashes, 1 to 255 bytes, so they can be
// written into a requirement and shown without escaping.
bool isValidIdentifier(std::string_view identifier);

// SHA-256 of the first `length` bytes of the source.
bool hashPrefix(const ByteSource& source, std::uint64_t length,
                std::array<std::uint8_t, kHashSize>& out, std::string& error);

}  // namespace codesign
