// Signing: a signature over a file's code replaces any signature the file already carries.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "shared/codesign/ByteSource.h"
#include "shared/codesign/Certificate.h"

namespace codesign {

// How many leading bytes are the code: all of them for an unsigned file, the bytes before the
// signature for a signed one. A damaged trailer is an error rather than code, so a re-sign never
// buries an old signature inside the new code.
bool codeLength(const ByteSource& source, std::uint64_t& length, std::string& error);

// The bytes to append after `codeLimit` bytes of code: blob, info block and marker. Without an
// identity the signature is ad hoc (integrity and identifier, no signer).
std::optional<std::vector<std::uint8_t>> makeSignature(const ByteSource& source,
                                                       std::uint64_t codeLimit,
                                                       const std::string& identifier,
                                                       const SigningIdentity* identity,
                                                       std::string& error);

// The code of `bytes` (old signature dropped) followed by a new signature.
std::optional<std::vector<std::uint8_t>> signBytes(std::span<const std::uint8_t> bytes,
                                                   const std::string& identifier,
                                                   const SigningIdentity* identity,
                                                   std::string& error);

// Signs a file in place: the signed copy is written beside it with the same mode and renamed
// over it, so a reader never sees a half-written file.
bool signFile(const std::string& path, const std::string& identifier,
              const SigningIdentity* identity, std::string& error);

}  // namespace codesign
