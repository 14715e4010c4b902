// The helper's service: accepts connections, admits peers, and serves the helper messages.
//
// Several clients may be connected at once (the window, the exporter, a recording, a snapshot).
// Each admitted connection is served on its own thread and gets back only what it asked for: the
// result of a sampler run goes to the connection that requested it, and is dropped when that
// connection has gone. "closeHelper" closes the sender's connection and ends the process only
// when no other admitted connection is open.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>

#include "helper/Admission.h"
#include "helper/ConnectionTable.h"
#include "helper/Peer.h"
#include "helper/Sampler.h"
#include "helper/Uninstall.h"

namespace helper {

struct ServerConfig {
  SamplerConfig sampler;
  InstallPaths install;
  AdmissionCheck admit;           // empty: every peer is refused
  std::function<void(int)> exit;  // ends the process; empty: std::_Exit
  // Lowered when run() starts, so that every connection, check and run fits in the process's
  // descriptor limit at once.
  ConnectionLimits limits;
  SendBudget sendBudget;  // of each admitted connection
  size_t maxRuns = 32;    // sampler runs in flight; more get a nil result
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
