#include "app/helperlink/XPCClient.h"

#include <string>
#include <string_view>
#include <utility>

#include "app/core/NotificationCenter.h"
#include "app/helperlink/Log.h"
#include "app/helperlink/XPCManager.h"

namespace helperlink {

XPCClient::XPCClient(XPCManager& manager) : manager_(manager) {}

XPCClient::~XPCClient() {
  close();
}

void XPCClient::close() {
  lifetime_->close();
  dropConnection();
}

void XPCClient::setDelegate(XPCManager* delegate) {
  std::lock_guard lock(mutex_);
  delegate_ = delegate;
}

void XPCClient::setConnector(Connector connector) {
  std::lock_guard lock(mutex_);
  connector_ = std::move(connector);
}

std::shared_ptr<xpc::Connection> XPCClient::current(uint64_t* generation) {
  std::lock_guard lock(mutex_);
  if (!connection_) {
    const uint64_t g = ++lastGeneration_;
    auto guard = lifetime_;
    // The handlers may run before connect() returns (a path nobody listens at); they wait for
    // the lock, so they always find the connection stored under its generation.
    xpc::Connection::Handlers handlers{
        .powermetricsResult =
            [guard, this, g](std::optional<plist::Bytes> data) {
              if (auto use = guard->enter()) resultFor(g, std::move(data));
            },
        .invalidated =
            [guard, this, g] {
              if (auto use = guard->enter()) invalidatedFor(g);
            },
        .interrupted =
            [guard, this, g] {
              if (auto use = guard->enter()) interruptedFor(g);
            },
    };
    const std::string path = xpc::helperEndpoint();
    connection_ = connector_ ? connector_(path, std::move(handlers))
                             : xpc::Connection::connect(path, std::move(handlers));
    generation_ = connection_ ? g : 0;
  }
  if (generation) *generation = generation_;
  return connection_;
}

std::shared_ptr<xpc::Connection> XPCClient::getConnection() {
  return current(nullptr);
}

bool XPCClient::hasConnection() const {
  std::lock_guard lock(mutex_);
  return connection_ != nullptr;
}

bool XPCClient::isCurrent(uint64_t generation) const {
  std::lock_guard lock(mutex_);
  return connection_ && generation_ == generation;
}

std::shared_ptr<xpc::Connection> XPCClient::takeConnection(uint64_t generation) {
  std::lock_guard lock(mutex_);
  if (!connection_ || (generation != 0 && generation != generation_)) return nullptr;
  generation_ = 0;
  return std::exchange(connection_, nullptr);
}

bool XPCClient::isResponding(std::function<void(bool)> reply) {
  uint64_t g = 0;
  auto connection = current(&g);
  if (!connection) return false;
  auto guard = lifetime_;
  return connection->isResponding([guard, this, g, reply = std::move(reply)](bool answer) {
    auto use = guard->enter();
    if (use && isCurrent(g) && reply) reply(answer);
  });
}

void XPCClient::requestPowermetrics(bool includeGPU, double msSampling) {
  if (auto connection = getConnection()) connection->requestPowermetrics(msSampling, includeGPU);
}

void XPCClient::powermetricsResult(std::optional<plist::Bytes> data) {
  XPCManager* delegate = nullptr;
  {
    std::lock_guard lock(mutex_);
    delegate = delegate_;
  }
  if (!delegate) return;
  // The store is parsed into here, on the reader thread, while the main thread may be
  // destroying it; the guard holds that off until the parse is done.
  delegate->withPowerMetricsModelDelegate([&data](SGPowerMetrics& store) {
    if (!data) {
      store.receiveSample(std::nullopt);
      return;
    }
    store.receiveSample(
        std::string_view(reinterpret_cast<const char*>(data->data()), data->size()));
  });
}

void XPCClient::resultFor(uint64_t generation, std::optional<plist::Bytes> data) {
  if (isCurrent(generation)) powermetricsResult(std::move(data));
}

void XPCClient::checkHelperVersion(std::function<void(bool)> completion) {
  const std::optional<std::string> expected = manager_.locations().expectedVersion();
  uint64_t g = 0;
  auto connection = current(&g);
  if (!connection) {
    // Nobody to ask: a helper that cannot be reached is treated as one that needs replacing.
    manager_.setUpdateNeeded(true);
    manager_.refreshContent();
    if (completion) completion(false);
    return;
  }
  auto guard = lifetime_;
  const bool sent =
      connection->getVersion([guard, this, g, expected, completion](std::string version) {
        auto use = guard->enter();
        if (!use || !isCurrent(g)) return;
        // Character for character: "1.4" and "1.4.0" are different helpers.
        const bool match = expected && *expected == version;
        if (!match) {
          manager_.setUpdateNeeded(true);
          manager_.refreshContent();
        }
        if (completion) completion(match);
      });
  // A send fails only on a connection that has already ended; its handler reports that, and
  // the helper's version stays unknown rather than outdated.
  if (!sent && completion) completion(false);
}

void XPCClient::checkHelperResponding() {
  uint64_t g = 0;
  auto connection = current(&g);
  if (!connection) return;
  auto guard = lifetime_;
  connection->isResponding([guard, this, g](bool answer) {
    auto use = guard->enter();
    if (!use || !isCurrent(g)) return;
    if (answer) {
      manager_.setUpdateNeeded(false);
      manager_.refreshContent();
      NotificationCenter::defaultCenter().post(notifications::kXPCDidInstall);
    }
    if (auto done = takeConnection(g)) done->invalidate();
  });
}

void XPCClient::requestUninstall(std::function<void(bool)> completion) {
  dropConnection();
  auto connection = getConnection();
  const bool sent = connection && connection->unInstallHelper();
  if (completion) completion(sent);
}

void XPCClient::sendCloseHelper() {
  if (auto connection = getConnection()) connection->closeHelper();
}

void XPCClient::dropConnection() {
  // Connection::invalidate clears both handlers before it closes the socket.
  if (auto connection = takeConnection(0)) connection->invalidate();
}

void XPCClient::connectionInterrupted() {
  dropConnection();
  reportInterruption();
}

void XPCClient::connectionInvalidated() {
  dropConnection();
  reportInvalidation();
}

void XPCClient::reportInterruption() {
  logLine("[XPCTEST] XPCClient: connection has been interrupted XPCTEST");
  NotificationCenter::defaultCenter().post(notifications::kXPCInstallError);
  printLine("connetionInterruptionHandler");
  // A helper that ended while connected is usually started again (by the service manager, or
  // by an upgrade); nothing else would ever look for it.
  XPCManager* delegate = nullptr;
  {
    std::lock_guard lock(mutex_);
    delegate = delegate_;
  }
  if (delegate) delegate->helperWasLost();
}

void XPCClient::reportInvalidation() {
  logLine("[XPCTEST] XPCClient: connection has been invalidated XPCTEST");
  printLine("connectionInvalidationHandler");
}

// A connection dropped on purpose ends silently: only the loss of the current one is reported,
// and only that one is dropped, never a newer one opened meanwhile on another thread.
void XPCClient::interruptedFor(uint64_t generation) {
  if (auto lost = takeConnection(generation)) {
    lost->invalidate();
    reportInterruption();
  }
}

void XPCClient::invalidatedFor(uint64_t generation) {
  if (auto lost = takeConnection(generation)) {
    lost->invalidate();
    reportInvalidation();
  }
}

}  // namespace helperlink
