// The helper's code-signing checks of its peer. Check 1 compares the peer's certificate chain
// with the helper's own (peer found by process id); check 2 evaluates the client requirement
// (peer found by an unforgeable handle). Each check reads the executable afresh; nothing is
// cached between connections.
#pragma once

#include <sys/types.h>

#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "helper/admission/PeerProcess.h"
#include "shared/codesign/Verifier.h"

namespace helper {

// The one error type of check 1's steps; `message` is a fixed text below or the reason a step
// failed.
struct CodesignCheckError {
  std::string message;
  // Written as it appears in the log: CodesignCheckError(message: "...").
  std::string description() const;
};

inline constexpr std::string_view kEmptyFromCopySelf =
    "SecCode returned empty from SecCodeCopySelf";
inline constexpr std::string_view kEmptyFromCopyGuest =
    "SecCode returned empty from SecCodeCopyGuestWithAttributes";
inline constexpr std::string_view kEmptyFromCopyStaticCode =
    "SecStaticCode returned empty from SecCodeCopyStaticCode";
inline constexpr std::string_view kEmptyFromSigningInformation =
    "CFDictionary returned empty from SecCodeCopySigningInformation";

template <class T>
using Checked = std::variant<T, CodesignCheckError>;

// A process's executable file, held open so that everything read about it comes from one file.
struct StaticCode {
  UniqueFd fd;
};

struct SigningInformation {
  std::string identifier;
  std::vector<codesign::Certificate> certificates;  // leaf first; empty for an ad-hoc signature
};

// The helper's own executable. `selfExecutable` is "/proc/self/exe" in the helper; tests name
// another file.
Checked<StaticCode> copySelfStaticCode(const std::string& selfExecutable);
Checked<StaticCode> copyClientStaticCode(pid_t pid);
// The signature must be intact (its hash and CMS signature verify); whether it chains to the
// anchor is for the requirement to decide.
Checked<SigningInformation> copySigningInformation(const StaticCode& code,
                                                   const codesign::Anchor& anchor);
Checked<std::vector<codesign::Certificate>> signingCertificates(const StaticCode& code,
                                                                const codesign::Anchor& anchor);
// Check 1: true when the peer's chain equals the helper's, certificate by certificate.
Checked<bool> checkClientCertificates(pid_t pid, const std::string& selfExecutable,
                                      const codesign::Anchor& anchor);

}  // namespace helper
