// The helper's service: accepts connections, admits peers, and serves the helper messages.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>

#include "helper/Admission.h"
#include "helper/Sampler.h"
#include "helper/Uninstall.h"

namespace helper {

struct ServerConfig {
  SamplerConfig sampler;
  InstallPaths install;
  AdmissionCheck admit;           // empty: every peer is refused
  std::function<void(int)> exit;  // ends the process; empty: std::_Exit
  size_t maxConnections = 512;    // more at once are closed unserved
  size_t maxRuns = 32;            // sampler runs in flight; more get a nil result
};

class XPCServer {
 public:
  explicit XPCServer(ServerConfig config);
  ~XPCServer();
  XPCServer(const XPCServer&) = delete;
  XPCServer& operator=(const XPCServer&) = delete;

  // Serves connections arriving on `listenFd` (a listening stream socket, not taken over)
  // until stop() or until the socket fails. Logs the start-up line first.
  void run(int listenFd);
  // Makes run() return; connections already admitted are left to end by themselves.
  void stop();

  struct Core;

 private:
  std::shared_ptr<Core> core_;
};

}  // namespace helper
