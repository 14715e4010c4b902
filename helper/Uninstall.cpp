#include "helper/Uninstall.h"

#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstring>

#include "helper/Log.h"
#include "shared/process/Process.h"
#include "shared/xpc/Protocol.h"

namespace helper {
namespace {

// The failure line is "error " and the description, without the prefix of the other lines.
bool removeFile(const std::string& path) {
  if (::unlink(path.c_str()) == 0) return true;
  logLine("error Could not remove " + path + ": " + std::strerror(errno));
  return false;
}

}  // namespace

InstallPaths installPaths(const std::string& root) {
  InstallPaths p;
  const std::string units = root + std::string(xpc::kUnitDirectory);
  p.jobFiles = {units + "/" + std::string(xpc::kSocketUnitName),
                units + "/" + std::string(xpc::kServiceUnitName)};
  p.enableLink = units + "/sockets.target.wants/" + std::string(xpc::kSocketUnitName);
  p.executable = root + std::string(xpc::kInstalledExecutable);
  p.sampler = root + std::string(xpc::kInstalledSampler);
  // Stops listening without waiting for the job; the helper ends itself right after.
  p.serviceManagerArgs = {"--no-block", "stop", std::string(xpc::kSocketUnitName)};
  return p;
}

std::string fileURL(const std::string& path) {
  static const char* hex = "0123456789ABCDEF";
  std::string url = "file://";
  for (unsigned char c : path) {
    if (std::isalnum(c) || std::strchr("/-._~", c)) {
      url.push_back(static_cast<char>(c));
    } else {
      url.push_back('%');
      url.push_back(hex[c >> 4]);
      url.push_back(hex[c & 15]);
    }
  }
  return url;
}

bool uninstall(const InstallPaths& paths, const std::function<void(int)>& exit) {
  for (const auto& job : paths.jobFiles) {
    log("trying to delete " + fileURL(job));
    if (!removeFile(job)) return false;
  }
  // The boot-time link dangles once its unit is gone; it is not worth failing over.
  if (!paths.enableLink.empty()) ::unlink(paths.enableLink.c_str());
  log("property list deleted");
  log("trying to delete " + fileURL(paths.executable));
  if (!removeFile(paths.executable)) return false;
  log("helper tool deleted");
  // The sampler only ever runs on the helper's behalf, so it goes with it. An install that
  // predates it has none, which is no reason to keep the service listening.
  if (!paths.sampler.empty() && ::unlink(paths.sampler.c_str()) != 0 && errno != ENOENT)
    logLine("error Could not remove " + paths.sampler + ": " + std::strerror(errno));

  proc::Spec spec;
  spec.path = paths.serviceManager;
  spec.args = paths.serviceManagerArgs;
  spec.env = {"PATH=/usr/sbin:/usr/bin:/sbin:/bin", "LC_ALL=C"};
  spec.timeLimit = std::chrono::seconds(30);
  spec.onLaunched = [] { log("waiting unloading for launchctl..."); };
  const proc::Result r = proc::run(spec);
  if (!r.launched) {
    logLine("error Could not launch " + paths.serviceManager + ": " + std::strerror(r.launchErrno));
    return false;
  }
  log(r.succeeded() ? "unloaded from launchctl successful" : "unloaded ERROR");
  log("uninstall completed, exiting...");
  exit(0);
  return true;
}

}  // namespace helper
