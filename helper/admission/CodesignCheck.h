// The steps of the helper's code-signing checks of its peer. The peer's executable is found
// through an unforgeable handle on the process and read and hashed once per connection; check 1
// compares its certificate chain with the helper's own, check 2 evaluates the client
// requirement over the same verification. Nothing about a peer is kept between connections.
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

// The helper's own executable. `selfExecutable` is "/proc/self/exe" in the helper; tests name
// another file.
Checked<StaticCode> copySelfStaticCode(const std::string& selfExecutable);
// The peer's executable, opened through its handle (see openExecutableByHandle).
Checked<StaticCode> copyClientStaticCode(pid_t pid, int pidfd);
// The signature must be intact (its hash and CMS signature verify); whether it chains to the
// anchor is for the requirement to decide.
Checked<codesign::Verification> copySigningInformation(const StaticCode& code,
                                                       const codesign::Anchor& anchor);

}  // namespace helper
