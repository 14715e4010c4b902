#include "app/helperlink/PkexecInstaller.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/ToolLocator.h"
#include "shared/process/Process.h"

#ifndef FERROLUX_LIBEXECDIR
#define FERROLUX_LIBEXECDIR "/usr/local/libexec/ferrolux"
#endif

namespace helperlink {

PkexecPaths installedPkexecPaths() {
  const std::string dir = FERROLUX_LIBEXECDIR;
  PkexecPaths p;
  p.bless = dir + "/ferrolux-bless";
  p.helperCopy = dir + "/com.tarquell.powermetrics";
  p.sampler = dir + "/powermetrics";
  p.client = ownExecutable();
  return p;
}

std::string ownExecutable() {
  const std::optional<std::string> path = platform::executablePath();
  const std::string deleted = " (deleted)";
  if (!path || path->empty() || path->front() != '/' ||
      (path->size() > deleted.size() &&
       path->compare(path->size() - deleted.size(), deleted.size(), deleted) == 0))
    return {};
  return *path;
}

PkexecInstaller::PkexecInstaller(PkexecPaths paths) : paths_(std::move(paths)) {}

int PkexecInstaller::authorize() {
  struct stat st;
  if (paths_.pkexec.empty() || paths_.pkexec.front() != '/' ||
      ::stat(paths_.pkexec.c_str(), &st) != 0)
    return ENOENT;
  if (!S_ISREG(st.st_mode) || ::access(paths_.pkexec.c_str(), X_OK) != 0) return EACCES;
  return 0;
}

std::vector<std::string> PkexecInstaller::blessArguments() const {
  return {paths_.bless, "install",      "--helper", paths_.helperCopy,
          "--sampler",  paths_.sampler, "--client", paths_.client};
}

bool PkexecInstaller::bless() {
  lastError_.clear();
  if (paths_.client.empty()) {
    lastError_ = "the application's own executable cannot be named";
    return false;
  }
  proc::Spec spec;
  spec.path = paths_.pkexec;
  spec.args = blessArguments();
  // pkexec gives the program a clean environment of its own; nothing of ours is needed.
  spec.env = {"PATH=/usr/sbin:/usr/bin:/sbin:/bin", "LC_ALL=C"};
  // The administrator's dialog stays up as long as they leave it.
  spec.timeLimit = std::chrono::minutes(15);
  spec.captureStderr = true;
  const proc::Result r = proc::run(spec);
  if (r.succeeded()) return true;
  lastError_ = r.launched ? r.errorOutput : std::string(std::strerror(r.launchErrno));
  if (r.exited) lastError_ += " (exit status " + std::to_string(r.exitStatus) + ")";
  return false;
}

}  // namespace helperlink
