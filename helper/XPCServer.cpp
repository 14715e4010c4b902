#include "helper/XPCServer.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <system_error>
#include <thread>

#include "helper/EmbeddedInfo.h"
#include "helper/Log.h"
#include "shared/xpc/EmbeddedInfo.h"
#include "shared/xpc/Message.h"
#include "shared/xpc/Protocol.h"
#include "shared/xpc/Socket.h"

#ifndef SO_PEERPIDFD
#define SO_PEERPIDFD 77
#endif

namespace helper {
namespace {

// One admitted connection as the server sees it: replies and results are written to it from
// several threads, one frame at a time.
class Peer {
 public:
  explicit Peer(xpc::UniqueFd fd) : fd_(std::move(fd)) {}
  int fd() const { return fd_.get(); }
  bool send(const std::string& frame) {
    if (!open_) return false;
    std::lock_guard lock(writeMutex_);
    if (xpc::writeAll(fd_.get(), frame)) return true;
    close();
    return false;
  }
  void close() {
    if (open_.exchange(false)) ::shutdown(fd_.get(), SHUT_RDWR);
  }

 private:
  xpc::UniqueFd fd_;
  std::mutex writeMutex_;
  std::atomic<bool> open_{true};
};

// Starts a detached thread; false when the system has none to give.
template <typename F>
bool spawn(F&& f) {
  try {
    std::thread(std::forward<F>(f)).detach();
    return true;
  } catch (const std::system_error&) {
    return false;
  }
}

}  // namespace

struct XPCServer::Core : std::enable_shared_from_this<Core> {
  ServerConfig config;
  xpc::UniqueFd wakeRead, wakeWrite;
  std::atomic<size_t> connections{0};
  std::atomic<size_t> runs{0};

  std::mutex clientMutex;
  std::shared_ptr<Peer> client;  // the most recently admitted connection

  void setClient(std::shared_ptr<Peer> peer) {
    std::lock_guard lock(clientMutex);
    client = std::move(peer);
  }
  std::shared_ptr<Peer> currentClient() {
    std::lock_guard lock(clientMutex);
    return client;
  }

  void exitNow(int status) {
    if (config.exit) return config.exit(status);
    std::fflush(nullptr);
    std::_Exit(status);
  }

  // Sends one result to whichever connection is current when the run ends; dropped when there
  // is none or it is gone.
  void deliver(std::optional<plist::Bytes> data) {
    if (auto peer = currentClient())
      peer->send(xpc::encode(
          xpc::Call{.message = xpc::Message::PowermetricsResult, .data = std::move(data)}));
  }

  void startRun(double msSampling, bool includeGPU) {
    if (runs.fetch_add(1) >= config.maxRuns) {
      --runs;
      deliver(std::nullopt);
      return;
    }
    std::weak_ptr<Core> weak = weak_from_this();
    const bool started = spawn([weak, sampler = config.sampler, msSampling, includeGPU] {
      auto result = runSampler(sampler, msSampling, includeGPU);
      if (auto core = weak.lock()) {
        --core->runs;
        core->deliver(std::move(result));
      }
    });
    if (!started) {
      --runs;
      deliver(std::nullopt);
    }
  }

  void startUninstall() {
    log("Request to uninstall Ferrolux Helper");
    std::weak_ptr<Core> weak = weak_from_this();
    spawn([weak, paths = config.install] {
      if (auto core = weak.lock()) uninstall(paths, [core](int s) { core->exitNow(s); });
    });
  }

  void handle(const xpc::Call& call, Peer& peer) {
    using xpc::Message;
    switch (call.message) {
      case Message::IsResponding:
        peer.send(xpc::encode(xpc::Reply{call.id, plist::Value(true)}));
        break;
      case Message::GetVersion:
        peer.send(xpc::encode(xpc::Reply{call.id, xpc::bundleShortVersion(infoList())}));
        break;
      case Message::RequestPowermetrics:
        startRun(call.msSampling, call.includeGPU);
        break;
      case Message::UnInstallHelper:
        startUninstall();
        break;
      case Message::CloseHelper:
        exitNow(0);
        break;
      case Message::PowermetricsResult:  // never decoded on this side
        break;
    }
  }

  void serve(xpc::UniqueFd fd) {
    PeerInfo info;
    ucred cred{};
    socklen_t len = sizeof cred;
    if (::getsockopt(fd.get(), SOL_SOCKET, SO_PEERCRED, &cred, &len) != 0) return;
    int rawPidfd = -1;
    socklen_t pidfdLen = sizeof rawPidfd;
    if (::getsockopt(fd.get(), SOL_SOCKET, SO_PEERPIDFD, &rawPidfd, &pidfdLen) != 0) rawPidfd = -1;
    const xpc::UniqueFd pidfd(rawPidfd);
    info.pid = cred.pid;
    info.uid = cred.uid;
    info.gid = cred.gid;
    info.pidfd = pidfd.get();
    info.socketFd = fd.get();
    if (!config.admit || !config.admit(info)) return;  // closed without a hello
    log("Client is valid");

    auto peer = std::make_shared<Peer>(std::move(fd));
    // A client that stops reading must not hold a sampler thread in a write forever.
    xpc::setSendTimeout(peer->fd(), 5);
    if (!peer->send(xpc::encode(xpc::Hello{xpc::kProtocolVersion}))) return;
    setClient(peer);

    xpc::FrameReader reader(peer->fd(), xpc::kMaxFrameToHelper);
    std::string body;
    while (reader.next(body) == xpc::FrameReader::Status::Frame) {
      const auto frame = xpc::decode(body, xpc::Receiver::Helper);
      const auto* call = frame ? std::get_if<xpc::Call>(&*frame) : nullptr;
      if (!call) break;  // bad input ends this connection only
      handle(*call, *peer);
    }
    peer->close();
  }

  void accept(int listenFd) {
    const int fd = ::accept4(listenFd, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) {
      // Out of descriptors: back off briefly instead of spinning on a ready listener.
      if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM)
        ::usleep(10000);
      return;
    }
    xpc::UniqueFd owned(fd);
    if (connections.fetch_add(1) >= config.maxConnections) {
      --connections;
      return;
    }
    auto self = shared_from_this();
    auto shared = std::make_shared<xpc::UniqueFd>(std::move(owned));
    if (!spawn([self, shared] {
          self->serve(std::move(*shared));
          --self->connections;
        }))
      --connections;
  }
};

XPCServer::XPCServer(ServerConfig config) : core_(std::make_shared<Core>()) {
  core_->config = std::move(config);
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) == 0) {
    core_->wakeRead.reset(fds[0]);
    core_->wakeWrite.reset(fds[1]);
  }
}

XPCServer::~XPCServer() {
  stop();
}

void XPCServer::run(int listenFd) {
  log("Privileged Helper has started");
  for (;;) {
    pollfd fds[2] = {{listenFd, POLLIN, 0}, {core_->wakeRead.get(), POLLIN, 0}};
    if (::poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      return;
    }
    if (fds[1].revents) return;
    if (fds[0].revents & (POLLERR | POLLNVAL)) return;
    if (fds[0].revents & POLLIN) core_->accept(listenFd);
  }
}

void XPCServer::stop() {
  if (core_->wakeWrite.valid()) {
    const char c = 0;
    [[maybe_unused]] auto n = ::write(core_->wakeWrite.get(), &c, 1);
  }
}

}  // namespace helper
