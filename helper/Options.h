// The helper's command line. An installed helper takes none: systemd hands it the socket.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include <sys/types.h>

namespace helper {

struct Options {
  std::string listenPath;        // --listen PATH: serve on this path instead of systemd's socket
  std::string toolsDir;          // --tools-dir DIR: where `powermetrics` is looked up first
  std::string nicePath;          // --nice-path PATH: the program that starts the sampler
  std::string installRoot;       // --install-root DIR: prefix of the installed locations
  std::string serviceManager;    // --service-manager PATH: run in place of systemctl
  std::vector<uid_t> allowUids;  // --allow-uid N (repeatable): admitted besides root
  std::optional<long> graceMs;   // --sampler-grace-ms N: time limit beyond the interval
};

// nullopt, with the reason in `error`, for an unknown option, a missing value or a malformed
// number.
std::optional<Options> parseOptions(int argc, char** argv, std::string& error);

}  // namespace helper
