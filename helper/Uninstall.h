// The helper's removal of itself: its units, its executable and sampler, then the service
// manager.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace helper {

struct InstallPaths {
  std::vector<std::string> jobFiles;  // the socket and service units
  std::string enableLink;             // the link that starts the socket at boot; may be absent
  std::string executable;
  std::string sampler;  // installed beside the executable; gone already is not a failure
  std::string serviceManager = "/usr/bin/systemctl";
  std::vector<std::string> serviceManagerArgs;
};

// The installed locations, under `root` ("" for the real system; tests use a scratch tree).
InstallPaths installPaths(const std::string& root);

// "file://" and the path, with characters outside the unreserved set percent-encoded.
std::string fileURL(const std::string& path);

// Runs the uninstall sequence on the calling thread, logging each step. On success it ends
// with `exit(0)`; a failed removal or a service manager that cannot be launched logs
// "error <description>" and returns false, leaving the helper serving.
bool uninstall(const InstallPaths& paths, const std::function<void(int)>& exit);

}  // namespace helper
