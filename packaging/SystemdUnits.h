// The helper's systemd units, generated from the job list embedded in its executable.
//
// The socket unit stands for on-demand start: systemd listens and starts the service at the
// first connection. The service runs the helper as root, heavily confined: it only needs to
// read the peer's executable, run the sampler (which reads /sys and GPU devices) and, on
// uninstall, delete its own files.
#pragma once

#include <optional>
#include <string>

#include "shared/plist/Plist.h"

namespace packaging {

struct UnitOptions {
  std::string executable;     // ExecStart of the service: the installed helper
  std::string socketPath;     // ListenStream of the socket
  std::string socketUser;     // owner of the socket (the approving user); empty: root
  std::string toolsDir;       // where the sampler lives, passed as --tools-dir; empty: not passed
  std::string unitDirectory;  // where the units are installed (writable, for uninstall)
};

struct Units {
  std::string socketName;   // "<Label>.socket"
  std::string serviceName;  // "<Label>.service"
  std::string socket;       // file contents
  std::string service;
};

// The defaults for an installed helper: the system endpoint, the installed executable and
// unit directory, the given tools directory (normally xpc::kInstalledToolsDirectory).
UnitOptions installedUnitOptions(const std::string& toolsDir, const std::string& socketUser);

// Builds both units. nullopt when the job list lacks a usable Label (a name systemd accepts)
// or Nice is out of range. Nice comes from the job list; LowPriorityIO false and
// ProcessType "Interactive" become best-effort I/O and no CPU-weight reduction.
std::optional<Units> generateUnits(const plist::Value& jobList, const UnitOptions& options);

}  // namespace packaging
