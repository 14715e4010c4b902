#include "shared/xpc/Connection.h"

#include <sys/socket.h>

#include <atomic>
#include <cstdlib>
#include <map>
#include <mutex>
#include <thread>

#include "shared/xpc/Message.h"
#include "shared/xpc/Protocol.h"
#include "shared/xpc/Socket.h"

namespace xpc {

struct Connection::State {
  UniqueFd fd;
  std::mutex writeMutex;  // one frame at a time on the socket

  std::mutex mutex;  // guards everything below
  Handlers handlers;
  std::map<int64_t, std::function<void(const plist::Value&)>> pending;
  int64_t nextId = 1;
  bool ended = false;  // invalidated from this side, or reported
  std::optional<int64_t> helloVersion;

  bool send(const std::string& bytes) {
    if (!fd.valid()) return false;
    std::lock_guard lock(writeMutex);
    return writeAll(fd.get(), bytes);
  }

  // Takes the handler out under the lock and marks the connection ended, so exactly one
  // ending is reported and nothing after it.
  std::function<void()> takeEnding(bool interrupted) {
    std::lock_guard lock(mutex);
    if (ended) return {};
    ended = true;
    pending.clear();
    auto h = interrupted ? std::move(handlers.interrupted) : std::move(handlers.invalidated);
    handlers = {};
    return h;
  }

  void dispatch(const Frame& frame) {
    if (const auto* hello = std::get_if<Hello>(&frame)) {
      std::lock_guard lock(mutex);
      if (!helloVersion) helloVersion = hello->version;
      return;
    }
    if (const auto* reply = std::get_if<Reply>(&frame)) {
      std::function<void(const plist::Value&)> callback;
      {
        std::lock_guard lock(mutex);
        auto it = pending.find(reply->id);
        if (it == pending.end()) return;
        callback = std::move(it->second);
        pending.erase(it);
      }
      callback(reply->value);
      return;
    }
    const auto& call = std::get<Call>(frame);
    std::function<void(std::optional<plist::Bytes>)> handler;
    {
      std::lock_guard lock(mutex);
      if (ended) return;
      handler = handlers.powermetricsResult;
    }
    if (handler) handler(call.data);
  }

  void readLoop() {
    bool gotHello = false;
    if (fd.valid()) {
      FrameReader reader(fd.get(), kMaxFrameToClient);
      std::string body;
      while (reader.next(body) == FrameReader::Status::Frame) {
        auto frame = decode(body, Receiver::Application);
        // The hello must come first; anything else first, or anything undecodable, means the
        // peer is not a helper speaking this protocol.
        if (!frame || (!gotHello && !std::holds_alternative<Hello>(*frame))) break;
        gotHello = true;
        dispatch(*frame);
      }
      ::shutdown(fd.get(), SHUT_RDWR);
    }
    if (auto ending = takeEnding(gotHello)) ending();
  }

  bool call(Call c, std::function<void(const plist::Value&)> reply) {
    {
      std::lock_guard lock(mutex);
      if (ended) return false;
      if (reply) {
        c.id = nextId++;
        pending.emplace(c.id, std::move(reply));
      }
    }
    if (send(encode(c))) return true;
    std::lock_guard lock(mutex);
    pending.erase(c.id);
    return false;
  }
};

std::string helperEndpoint() {
  const char* env = std::getenv(std::string(kEndpointEnvironment).c_str());
  return (env && *env) ? std::string(env) : std::string(kSystemEndpoint);
}

std::shared_ptr<Connection> Connection::connect(const std::string& path, Handlers handlers) {
  auto state = std::make_shared<State>();
  state->fd = connectUnix(path);
  // A write to a helper that stopped reading must not block the caller indefinitely.
  if (state->fd.valid()) setSendTimeout(state->fd.get(), 5);
  state->handlers = std::move(handlers);
  std::thread([state] { state->readLoop(); }).detach();
  return std::shared_ptr<Connection>(new Connection(state));
}

Connection::~Connection() {
  invalidate();
}

void Connection::invalidate() {
  {
    std::lock_guard lock(state_->mutex);
    state_->ended = true;
    state_->pending.clear();
    state_->handlers = {};
  }
  // Wakes the reader thread, which then finds the connection ended and reports nothing. The
  // descriptor itself is closed when the reader lets go of the state.
  if (state_->fd.valid()) ::shutdown(state_->fd.get(), SHUT_RDWR);
}

bool Connection::isResponding(std::function<void(bool)> reply) {
  Call c{.message = Message::IsResponding};
  return state_->call(c, [reply = std::move(reply)](const plist::Value& v) {
    if (const auto b = v.boolean(); b && reply) reply(*b);
  });
}

bool Connection::getVersion(std::function<void(std::string)> reply) {
  Call c{.message = Message::GetVersion};
  return state_->call(c, [reply = std::move(reply)](const plist::Value& v) {
    if (const auto* s = v.string(); s && reply) reply(*s);
  });
}

bool Connection::requestPowermetrics(double msSampling, bool includeGPU) {
  Call c{
      .message = Message::RequestPowermetrics, .msSampling = msSampling, .includeGPU = includeGPU};
  return state_->call(c, {});
}

bool Connection::unInstallHelper() {
  return state_->call({.message = Message::UnInstallHelper}, {});
}

bool Connection::closeHelper() {
  return state_->call({.message = Message::CloseHelper}, {});
}

std::optional<int64_t> Connection::helperVersion() const {
  std::lock_guard lock(state_->mutex);
  return state_->helloVersion;
}

}  // namespace xpc
