// Verification of a signed file: the trailer, the code directory's hash over the code, the CMS
// signature, and whether the signer chains to the configured anchor.
#pragma once

#include <ctime>
#include <optional>
#include <string>
#include <vector>

#include "shared/codesign/ByteSource.h"
#include "shared/codesign/Certificate.h"

namespace codesign {

enum class Status {
  Valid,        // intact and chained to the anchor
  NotAnchored,  // intact, but ad hoc or signed by a chain that does not end at the anchor
  NotSigned,
  Malformed,
  Modified,      // the code or the signature's statement about it changed after signing
  BadSignature,  // the CMS signature does not verify
  ReadError,
};

const char* statusName(Status status);

struct VerifyOptions {
  // Evaluate certificate validity periods at this time instead of now (tests and fixtures).
  std::optional<std::time_t> atTime;
};

struct Verification {
  Status status = Status::NotSigned;
  std::string reason;  // empty when Valid
  std::string identifier;
  bool adHoc = false;
  // Leaf first. When Valid it is the verified path ending at the anchor; when NotAnchored it is
  // the chain as the signature presents it (empty for an ad-hoc signature).
  std::vector<Certificate> chain;
  std::uint64_t codeLimit = 0;

  bool valid() const { return status == Status::Valid; }
  bool intact() const { return status == Status::Valid || status == Status::NotAnchored; }
};

Verification verify(const ByteSource& source, const Anchor& anchor,
                    const VerifyOptions& options = {});
// Reads through `fd` only; the caller opened exactly the file it means.
Verification verifyFd(int fd, const Anchor& anchor, const VerifyOptions& options = {});

}  // namespace codesign
