#include "tools/bless/VersionCheck.h"

#include <algorithm>
#include <charconv>
#include <vector>

#include "shared/xpc/EmbeddedInfo.h"
#include "shared/xpc/Protocol.h"

namespace bless {
namespace {

std::optional<std::vector<unsigned long>> parts(std::string_view version) {
  std::vector<unsigned long> out;
  for (;;) {
    const size_t dot = version.find('.');
    const std::string_view part = version.substr(0, dot);
    unsigned long value = 0;
    const auto [end, ec] = std::from_chars(part.data(), part.data() + part.size(), value);
    if (part.empty() || ec != std::errc() || end != part.data() + part.size()) return std::nullopt;
    out.push_back(value);
    if (dot == std::string_view::npos) return out;
    version.remove_prefix(dot + 1);
  }
}

// The helper's version as its information list states it; nullopt when it has none.
std::optional<std::string> versionOf(int fd) {
  const auto bytes = xpc::readElfSection(fd, xpc::kInfoSection);
  if (!bytes) return std::nullopt;
  auto parsed = plist::parse(*bytes);
  if (!parsed.ok()) return std::nullopt;
  const std::string* version = (*parsed.value)["CFBundleShortVersionString"].string();
  if (!version) return std::nullopt;
  return *version;
}

}  // namespace

std::optional<int> compareVersions(std::string_view a, std::string_view b) {
  const auto left = parts(a), right = parts(b);
  if (!left || !right) return std::nullopt;
  for (size_t i = 0; i < std::max(left->size(), right->size()); ++i) {
    const unsigned long l = i < left->size() ? (*left)[i] : 0;
    const unsigned long r = i < right->size() ? (*right)[i] : 0;
    if (l != r) return l < r ? -1 : 1;
  }
  return 0;
}

std::optional<std::string> downgradeRefusal(const SealedCopy& helper,
                                            const std::string& installedPath) {
  // The installed file is read like any other path given to us: as a regular file only.
  std::string ignored;
  const auto installed = SealedCopy::take(installedPath, kMaxProgramSize, ignored);
  if (!installed) return std::nullopt;
  const auto installedVersion = versionOf(installed->fd());
  if (!installedVersion || !parts(*installedVersion)) return std::nullopt;
  const std::string newVersion = versionOf(helper.fd()).value_or("(none)");
  const auto order = compareVersions(newVersion, *installedVersion);
  if (order && *order >= 0) return std::nullopt;
  return "the helper " + helper.path() + " has version " + newVersion +
         ", older than the installed helper's version " + *installedVersion;
}

}  // namespace bless
