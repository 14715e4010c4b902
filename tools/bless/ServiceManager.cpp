#include "tools/bless/ServiceManager.h"

#include <cstring>

#include "shared/process/Process.h"

namespace bless {

std::vector<std::vector<std::string>> serviceCommands(const std::string& label) {
  return {{"daemon-reload"},
          {"stop", label + ".service"},
          {"enable", label + ".socket"},
          {"restart", label + ".socket"}};
}

bool startService(const std::string& manager, const std::string& label, std::string& error) {
  for (const auto& args : serviceCommands(label)) {
    proc::Spec spec;
    spec.path = manager;
    spec.args = args;
    spec.env = {"PATH=/usr/sbin:/usr/bin:/sbin:/bin", "LC_ALL=C"};
    // Stopping a running helper may take its stop timeout.
    spec.timeLimit = std::chrono::seconds(120);
    spec.captureStderr = true;
    const proc::Result r = proc::run(spec);
    if (r.succeeded()) continue;
    std::string command = manager;
    for (const auto& a : args)
      command += " " + a;
    if (!r.launched)
      error = command + ": " + std::strerror(r.launchErrno);
    else if (r.timedOut)
      error = command + ": timed out";
    else if (r.exited)
      error = command + ": exit status " + std::to_string(r.exitStatus);
    else
      error = command + ": ended by signal " + std::to_string(r.termSignal);
    if (!r.errorOutput.empty()) error += ": " + r.errorOutput;
    while (!error.empty() && error.back() == '\n')
      error.pop_back();
    return false;
  }
  return true;
}

}  // namespace bless
