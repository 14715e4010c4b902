#include "helper/Options.h"

#include <charconv>
#include <string_view>

namespace helper {

std::optional<Options> parseOptions(int argc, char** argv, std::string& error) {
  Options o;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (i + 1 >= argc) {
      error = "missing value or unknown option: " + std::string(arg);
      return std::nullopt;
    }
    const std::string value = argv[++i];
    if (arg == "--listen") {
      o.listenPath = value;
    } else if (arg == "--tools-dir") {
      o.toolsDir = value;
    } else if (arg == "--nice-path") {
      o.nicePath = value;
    } else if (arg == "--install-root") {
      o.installRoot = value;
    } else if (arg == "--service-manager") {
      o.serviceManager = value;
    } else if (arg == "--allow-uid") {
      unsigned long uid = 0;
      const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), uid);
      if (ec != std::errc() || end != value.data() + value.size() || value.empty() ||
          uid >= static_cast<uid_t>(-1)) {
        error = "not a user id: " + value;
        return std::nullopt;
      }
      o.allowUids.push_back(static_cast<uid_t>(uid));
    } else if (arg == "--sampler-grace-ms") {
      long ms = 0;
      const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), ms);
      if (ec != std::errc() || end != value.data() + value.size() || value.empty() || ms < 0) {
        error = "not a duration in milliseconds: " + value;
        return std::nullopt;
      }
      o.graceMs = ms;
    } else {
      error = "unknown option: " + std::string(arg);
      return std::nullopt;
    }
  }
  return o;
}

}  // namespace helper
