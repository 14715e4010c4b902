// Where the application's own copy of the helper lies, and the version that copy carries.
//
// The copy is the helper executable that ships with the application; the installed helper
// counts as current only when it reports exactly the copy's version. The version is read from
// the copy's embedded information list alone, without running it.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace helperlink {

class HelperLocations {
 public:
  // Overrides the copy's path for development and tests.
  static constexpr std::string_view kCopyEnvironment = "FERROLUX_HELPER_COPY";

  // FERROLUX_HELPER_COPY when set and not empty; otherwise the first existing of: the helper
  // beside the running application in its libexec folder (an installed tree, wherever it was
  // moved), the configured libexec folder, the helper the build tree produced. When none
  // exists, the configured libexec path (which then counts as missing).
  HelperLocations();
  // A fixed path.
  explicit HelperLocations(std::string helperCopy);

  const std::string& helperCopy() const { return helperCopy_; }

  // The copy's CFBundleShortVersionString, read afresh from the file on every call; nullopt
  // when the file is missing or unreadable, has no information list, or the value is missing
  // or not a string. Without an expected version every helper counts as outdated.
  std::optional<std::string> expectedVersion() const;

 private:
  std::string helperCopy_;
};

}  // namespace helperlink
