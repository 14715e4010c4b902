#include "packaging/SystemdUnits.h"

#include <cctype>
#include <filesystem>

#include "shared/xpc/Protocol.h"

namespace packaging {
namespace {

bool usableLabel(const std::string& label) {
  if (label.empty() || label.size() > 200) return false;
  for (unsigned char c : label)
    if (!std::isalnum(c) && c != '.' && c != '-' && c != '_') return false;
  return true;
}

// Unit files treat whitespace and a few characters specially; our paths never hold them, and
// anything that does is refused rather than quoted.
bool plainPath(const std::string& path) {
  if (path.empty() || path[0] != '/') return false;
  for (unsigned char c : path)
    if (std::isspace(c) || c == '"' || c == '\'' || c == '\\' || c == '%' || c == ';') return false;
  return true;
}

}  // namespace

UnitOptions installedUnitOptions(const std::string& toolsDir, const std::string& socketUser) {
  UnitOptions o;
  o.executable = std::string(xpc::kInstalledExecutable);
  o.socketPath = std::string(xpc::kSystemEndpoint);
  o.socketUser = socketUser;
  o.toolsDir = toolsDir;
  o.unitDirectory = std::string(xpc::kUnitDirectory);
  return o;
}

std::optional<Units> generateUnits(const plist::Value& jobList, const UnitOptions& o) {
  const auto* label = jobList["Label"].string();
  if (!label || !usableLabel(*label)) return std::nullopt;
  const int64_t nice = jobList["Nice"].integer().value_or(0);
  if (nice < -20 || nice > 19) return std::nullopt;
  for (const auto* p : {&o.executable, &o.socketPath, &o.unitDirectory})
    if (!plainPath(*p)) return std::nullopt;
  if (!o.toolsDir.empty() && !plainPath(o.toolsDir)) return std::nullopt;
  for (unsigned char c : o.socketUser)
    if (!std::isalnum(c) && c != '-' && c != '_' && c != '.') return std::nullopt;

  Units u;
  u.socketName = *label + ".socket";
  u.serviceName = *label + ".service";
  const std::string exeDir = std::filesystem::path(o.executable).parent_path().string();

  u.socket = "[Unit]\nDescription=Ferrolux privileged helper socket\n\n[Socket]\nListenStream=" +
             o.socketPath + "\nSocketMode=0600\n" +
             (o.socketUser.empty() ? "" : "SocketUser=" + o.socketUser + "\n") +
             "DirectoryMode=0755\nAccept=no\nService=" + u.serviceName +
             "\n\n[Install]\nWantedBy=sockets.target\n";

  u.service =
      "[Unit]\nDescription=Ferrolux privileged helper\n"
      "\n"
      "[Service]\nType=simple\nExecStart=" +
      o.executable + (o.toolsDir.empty() ? "" : " --tools-dir " + o.toolsDir) +
      "\n"
      "Nice=" +
      std::to_string(nice) +
      "\n"
      "IOSchedulingClass=best-effort\n"
      // Reads the peer's executable through /proc/PID/exe (another user's process), and lets
      // the sampler keep the raised priority it is started with.
      "CapabilityBoundingSet=CAP_SYS_PTRACE CAP_SYS_NICE\n"
      "AmbientCapabilities=\n"
      "NoNewPrivileges=yes\n"
      "ProtectSystem=strict\n"
      // Uninstall deletes the units and the executable.
      "ReadWritePaths=" +
      o.unitDirectory + " " + exeDir +
      "\n"
      "ProtectHome=yes\n"
      "PrivateTmp=yes\n"
      "PrivateNetwork=yes\n"
      "IPAddressDeny=any\n"
      "PrivateMounts=yes\n"
      "PrivateIPC=yes\n"
      "ProtectHostname=yes\n"
      "ProtectClock=yes\n"
      "ProtectKernelTunables=yes\n"
      "ProtectKernelModules=yes\n"
      "ProtectKernelLogs=yes\n"
      "ProtectControlGroups=yes\n"
      // Other users' processes stay visible to the capability above, which admission needs.
      "ProtectProc=invisible\n"
      // The sampler reads GPU statistics from the DRM nodes (read-only) and through the NVIDIA
      // management library, which opens its control and device nodes read-write. No msr device:
      // CPU frequencies come from cpufreq and /proc/cpuinfo.
      "DevicePolicy=closed\n"
      "DeviceAllow=char-drm r\n"
      "DeviceAllow=/dev/nvidiactl rw\n"
      "DeviceAllow=/dev/nvidia0 rw\n"
      "RestrictAddressFamilies=AF_UNIX\n"
      "RestrictNamespaces=yes\n"
      "RestrictRealtime=yes\n"
      "RestrictSUIDSGID=yes\n"
      "LockPersonality=yes\n"
      "MemoryDenyWriteExecute=yes\n"
      "RemoveIPC=yes\n"
      "KeyringMode=private\n"
      "UMask=0077\n"
      "SystemCallArchitectures=native\n"
      "SystemCallFilter=@system-service\n"
      "SystemCallFilter=~@privileged @resources @mount @swap @reboot @raw-io @module @obsolete "
      "@debug @cpu-emulation @clock\n"
      "SystemCallFilter=setpriority\n"
      "SystemCallErrorNumber=EPERM\n"
      // Bounds whatever a hostile peer or a runaway sampler could make the helper take: its
      // memory and its samplers' together, its threads and children, and a fixed stack, so
      // deep recursion ends the process at a known size whatever the system's default.
      "MemoryMax=256M\n"
      "TasksMax=256\n"
      "LimitSTACK=8M\n"
      "LimitNOFILE=2048\n";
  return u;
}

}  // namespace packaging
