#include "app/helperlink/HelperLocations.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>
#include <vector>

#include "platform/ToolLocator.h"
#include "shared/xpc/EmbeddedInfo.h"
#include "shared/xpc/Protocol.h"

namespace helperlink {
namespace {

namespace fs = std::filesystem;

std::string defaultHelperCopy() {
  const char* env = std::getenv(std::string(HelperLocations::kCopyEnvironment).c_str());
  if (env && *env) return env;
  const auto paths = HelperLocations::candidates(platform::executablePath());
  for (const auto& p : paths) {
    std::error_code ec;
    if (fs::is_regular_file(p, ec)) return p;
  }
  return paths.back();
}

}  // namespace

std::vector<std::string> HelperLocations::candidates(const std::optional<std::string>& program) {
  const std::string name(xpc::kServiceName);
  std::vector<std::string> out;
  // An installed tree keeps bin and libexec at the same distance, wherever it was moved.
  if (program && !program->empty()) {
    const fs::path dir = fs::path(*program).parent_path();
    const fs::path relative = fs::path(FERROLUX_LIBEXECDIR).lexically_relative(FERROLUX_BINDIR);
    if (!relative.empty()) out.push_back((dir / relative / name).lexically_normal().string());
  }
  if (platform::isInBuildTree(program)) out.emplace_back(FERROLUX_BUILD_HELPER);
  out.push_back((fs::path(FERROLUX_LIBEXECDIR) / name).string());
  return out;
}

HelperLocations::HelperLocations() : helperCopy_(defaultHelperCopy()) {}

HelperLocations::HelperLocations(std::string helperCopy) : helperCopy_(std::move(helperCopy)) {}

std::optional<std::string> HelperLocations::expectedVersion() const {
  const auto info = xpc::readEmbeddedList(helperCopy_, xpc::kInfoSection);
  if (!info) return std::nullopt;
  // Not bundleShortVersion(): its "0" for a missing key would match a helper that reports "0"
  // for the same reason.
  const std::string* version = (*info)["CFBundleShortVersionString"].string();
  if (!version) return std::nullopt;
  return *version;
}

}  // namespace helperlink
