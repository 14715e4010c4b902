// The helper's admission decision for a new connection: check 1 (same certificate chain as the
// helper), and only when it passes, check 2 (the client requirement). Refusals are logged here;
// the caller logs acceptance.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "helper/Admission.h"
#include "shared/codesign/Certificate.h"
#include "shared/codesign/Requirement.h"

namespace helper {

// Receives whole log lines exactly as they should appear.
using LogSink = std::function<void(std::string_view)>;

struct AdmissionConfig {
  codesign::Anchor anchor;
  std::string selfExecutable = "/proc/self/exe";
  std::string requirement = std::string(codesign::kHelperClientRequirement);
};

inline constexpr std::string_view kClientNotValid = "[PWMJBS]: Client is not valid";
inline constexpr std::string_view kCheckFailedPrefix = "Code signing check failed with error: ";

// Check 2 alone, by the peer's unforgeable handle; never logs. A requirement that does not
// parse, a peer that is gone, or any failure answers no.
bool checkClientRequirement(const PeerInfo& peer, const AdmissionConfig& config);

// The admission check the helper's listener runs for every connection, on any connection's
// thread. The helper's own chain is read once, at the first connection; the peer's executable
// is opened and hashed once per connection and both checks use that one result. A
// CodesignCheckError is logged, and every refusal logs kClientNotValid. Fails closed.
AdmissionCheck makeCodesignAdmission(LogSink log, AdmissionConfig config);

}  // namespace helper
