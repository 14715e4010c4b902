// Keeps an approval from turning into a downgrade: a helper older than the one already installed
// is refused, since an older helper may carry faults the newer one fixed.
//
// Versions are CFBundleShortVersionString values compared as dotted numbers ("1.10" is newer
// than "1.9"; a missing part counts as 0). With no installed helper, or one whose version
// cannot be read, there is nothing to protect and the install goes on; a new helper whose
// version cannot be read is refused when an installed one has a version.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "tools/bless/SealedCopy.h"

namespace bless {

// <0, 0 or >0 as `a` is older than, equal to or newer than `b`; nullopt when either is not a
// dotted list of decimal numbers.
std::optional<int> compareVersions(std::string_view a, std::string_view b);

// Why installing `helper` over the file at `installedPath` would be a downgrade (naming both
// versions), or nullopt when it is not.
std::optional<std::string> downgradeRefusal(const SealedCopy& helper,
                                            const std::string& installedPath);

}  // namespace bless
