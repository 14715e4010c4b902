// The helper link: owns the one connection to the helper and turns the helper's messages into
// operations and callbacks.
//
// The connection is opened on first use and dropped after the install check's reply, before the
// uninstall message (which goes over a fresh connection) and when either connection handler
// runs. Each connection carries a generation number; a reply, result or handler that belongs to
// a connection that has since been dropped is ignored, so a late event from an old connection
// can never drop, interrupt or answer for the current one.
//
// Threads: every operation may be called from any thread. Replies, results and the connection
// handlers run on the connection's reader thread; whatever they change in the user interface
// is handed to the main thread by the manager.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "app/core/Lifetime.h"
#include "shared/plist/Plist.h"
#include "shared/xpc/Connection.h"

namespace helperlink {

class XPCManager;

class XPCClient {
 public:
  // `manager` owns the link and outlives it. The endpoint is looked up at each connect
  // (xpc::helperEndpoint), so tests can point it elsewhere.
  explicit XPCClient(XPCManager& manager);
  ~XPCClient();
  XPCClient(const XPCClient&) = delete;
  XPCClient& operator=(const XPCClient&) = delete;

  // The manager that receives results; set on machines that sample through the helper only.
  // Without it, results are dropped.
  void setDelegate(XPCManager* delegate);

  // How a connection is opened: xpc::Connection::connect unless replaced. Tests replace it to
  // watch or replay a connection's handlers.
  using Connector = std::function<std::shared_ptr<xpc::Connection>(const std::string& path,
                                                                   xpc::Connection::Handlers)>;
  void setConnector(Connector connector);

  // The current connection, opened on demand; empty only when the connector gave none.
  std::shared_ptr<xpc::Connection> getConnection();
  bool hasConnection() const;

  // The liveness probe over the current connection (opened on demand), used by the start-up
  // check. false when nothing could be sent; `reply` then never runs. The reply runs on the
  // reader thread and only while that connection is still the current one.
  bool isResponding(std::function<void(bool)> reply);

  // One sample request over the current connection; nothing is sent without one.
  void requestPowermetrics(bool includeGPU, double msSampling);
  // Guards against swapped arguments: both convert silently to each other.
  template <typename A, typename B>
  void requestPowermetrics(A, B) = delete;

  // A result from the helper: handed to the sample store found through the delegate, or
  // dropped when either is gone.
  void powermetricsResult(std::optional<plist::Bytes> data);

  // Compares the helper's version with the one of the application's helper copy. The completion
  // gets the match result; it runs on the reader thread, or at once when nothing could be sent.
  // A mismatch (or no expected version, or no connection) marks the manager as needing an
  // update. The connection is kept for the sampling requests that follow.
  void checkHelperVersion(std::function<void(bool)> completion);

  // After an install: asks whether the helper answers; a YES clears the update mark, refreshes
  // the content model and posts "XPCDidInstall". Any reply then drops the connection.
  void checkHelperResponding();

  // Sends "unInstallHelper" over a fresh connection; the completion gets whether it was sent.
  void requestUninstall(std::function<void(bool)> completion);

  // Tells the helper to exit, opening a connection first when there is none.
  void sendCloseHelper();

  // Forgets the current connection without reporting anything.
  void dropConnection();

  // The connection handlers: each logs, drops the connection and writes its line to standard
  // output; interruption also posts "XPCInstallError" and has the delegate look for the helper
  // again.
  void connectionInterrupted();
  void connectionInvalidated();

 private:
  std::shared_ptr<xpc::Connection> current(uint64_t* generation);
  // The handlers of the connection of `generation`; they act only while it is current.
  void interruptedFor(uint64_t generation);
  void invalidatedFor(uint64_t generation);
  void resultFor(uint64_t generation, std::optional<plist::Bytes> data);
  void reportInterruption();
  void reportInvalidation();
  bool isCurrent(uint64_t generation) const;
  // Takes the connection out when it is the one of `generation` (any, for 0); the caller
  // invalidates it outside the lock.
  std::shared_ptr<xpc::Connection> takeConnection(uint64_t generation);
  // Waits for callbacks under way, then drops the connection; the manager's destructor calls
  // it before it tears down anything the callbacks reach.
  void close();
  friend class XPCManager;

  XPCManager& manager_;
  std::shared_ptr<Lifetime> lifetime_ = Lifetime::make();

  mutable std::mutex mutex_;  // guards everything below
  XPCManager* delegate_ = nullptr;
  Connector connector_;
  std::shared_ptr<xpc::Connection> connection_;
  uint64_t generation_ = 0;  // of connection_; 0 while there is none
  uint64_t lastGeneration_ = 0;
};

}  // namespace helperlink
