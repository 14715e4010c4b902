// Where the application's own copy of the helper lies, and the version that copy carries.
//
// The copy is the helper executable that ships with the application; the installed helper
// counts as current only when it reports exactly the copy's version. The version is read from
// the copy's embedded information list alone, without running it.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace helperlink {

class HelperLocations {
 public:
  // Overrides the copy's path for development and tests.
  static constexpr std::string_view kCopyEnvironment = "FERROLUX_HELPER_COPY";

  // FERROLUX_HELPER_COPY when set and not empty; otherwise the first existing of
  // candidates(the running program). When none exists, the configured libexec path (which then
  // counts as missing).
  HelperLocations();
  // A fixed path.
  explicit HelperLocations(std::string helperCopy);

  const std::string& helperCopy() const { return helperCopy_; }

  // Where a copy is looked for, in order, for an application at `program`: the helper in the
  // libexec folder at the installed distance from it (an installed tree, wherever it was
  // moved); the helper the build tree produced, only when `program` lies in that build tree;
  // the configured libexec folder.
  static std::vector<std::string> candidates(const std::optional<std::string>& program);

  // The copy's CFBundleShortVersionString, read afresh from the file on every call; nullopt
  // when the file is missing or unreadable, has no information list, or the value is missing
  // or not a string. Without an expected version every helper counts as outdated.
  std::optional<std::string> expectedVersion() const;

 private:
  std::string helperCopy_;
};

}  // namespace helperlink
