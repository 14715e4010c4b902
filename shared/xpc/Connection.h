// The application's end of the helper link: one connection to the helper's socket.
//
// Each connection has one reader thread; every handler and reply callback runs on it, in the
// order the frames arrived, never on the caller's thread. Callers that touch user-interface
// state hop to their main thread themselves.
//
// A connection ends in exactly one of two ways, reported once:
//   invalidated: nobody listens at the path, or the helper closed the connection before its
//                hello frame (the peer was refused);
//   interrupted: the connection was lost after the hello (the helper exited or crashed).
// After either, pending replies never arrive and every send fails. invalidate() ends the
// connection from this side without reporting anything.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "shared/plist/Plist.h"

namespace xpc {

// The helper's socket path: FERROLUX_HELPER_ENDPOINT when set and not empty (development and
// tests), else the system endpoint.
std::string helperEndpoint();

class Connection {
 public:
  struct Handlers {
    // A `powermetricsResult:` call: nullopt is a nil result (the sampler could not run).
    std::function<void(std::optional<plist::Bytes>)> powermetricsResult;
    std::function<void()> invalidated;
    std::function<void()> interrupted;
  };

  // Connects to the helper's socket and starts the reader thread. Never null: a failed connect
  // is reported through `invalidated`.
  static std::shared_ptr<Connection> connect(const std::string& path, Handlers handlers);

  ~Connection();
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  // The five helper messages. Each returns false when nothing could be sent (the connection
  // is gone); a reply callback is then never called.
  bool isResponding(std::function<void(bool)> reply);
  bool getVersion(std::function<void(std::string)> reply);
  bool requestPowermetrics(double msSampling, bool includeGPU);
  bool unInstallHelper();
  bool closeHelper();

  // Drops the handlers and pending replies and closes the socket. No handler or reply starts
  // after this returns (one already running on the reader thread may finish). Idempotent.
  void invalidate();

  // The protocol version of the helper's hello, once it arrived.
  std::optional<int64_t> helperVersion() const;

  struct State;

 private:
  explicit Connection(std::shared_ptr<State> state) : state_(std::move(state)) {}
  std::shared_ptr<State> state_;
};

}  // namespace xpc
