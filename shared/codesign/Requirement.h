// Code requirements in their text form, e.g.
//   identifier "com.example.App" and anchor apple generic
//     and certificate leaf[subject.CN] = "Developer ID Application: Example (ABCDE12345)"
// Clauses combine with `and`, `or`, `!` and parentheses (`!` binds tightest, then `and`, then
// `or`). `anchor apple generic` holds when the signature chains to the anchor this build was
// configured with. Certificate clauses name a position (`leaf`, `root`, `anchor`, 0 for the leaf
// up, -1 for the root down) and a subject field (`subject.CN`, `subject.O`, `subject.OU`), and
// hold only on a chain that was verified to the anchor. Text that does not parse is an error,
// never a requirement that passes.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "shared/codesign/Verifier.h"

namespace codesign {

struct RequirementNode;

class Requirement {
 public:
  // Nothing (and `error` set) unless the whole text is one well-formed requirement.
  static std::optional<Requirement> parse(std::string_view text, std::string* error = nullptr);
  // False for any signature that is not intact, whatever the requirement says.
  bool isSatisfiedBy(const Verification& signature) const;

 private:
  explicit Requirement(std::shared_ptr<const RequirementNode> root) : root_(std::move(root)) {}
  std::shared_ptr<const RequirementNode> root_;
};

// The one requirement the helper applies to its clients, and the single entry of the helper's
// authorized-clients list; both read this constant.
inline constexpr std::string_view kHelperClientRequirement =
    "identifier \"com.tarquell.Ferrolux\" and anchor apple generic and certificate "
    "leaf[subject.CN] = \"Developer ID Application: Tarquell (QZ4K8WD2RM)\"";

// What the application requires of the helper it installs, checked by the installer before it
// copies anything: the helper's identifier, signed under this build's anchor.
inline constexpr std::string_view kHelperRequirement =
    "identifier \"com.tarquell.powermetrics\" and anchor apple generic";

// What the installer requires of the sampler it puts beside the helper: the helper runs it as
// root, so it must be our own build as surely as the helper is.
inline constexpr std::string_view kSamplerIdentifier = "com.tarquell.ferrolux.powermetrics";
inline constexpr std::string_view kSamplerRequirement =
    "identifier \"com.tarquell.ferrolux.powermetrics\" and anchor apple generic";

}  // namespace codesign
