#include "helper/XPCServer.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
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

size_t descriptorLimit() {
  rlimit rl{};
  if (::getrlimit(RLIMIT_NOFILE, &rl) != 0 || rl.rlim_cur == RLIM_INFINITY) return 1u << 20;
  return static_cast<size_t>(rl.rlim_cur);
}

}  // namespace

struct XPCServer::Core : std::enable_shared_from_this<Core> {
  ServerConfig config;
  std::unique_ptr<ConnectionTable> table;
  xpc::UniqueFd wakeRead, wakeWrite;
  std::atomic<size_t> runs{0};

  void exitNow(int status) {
    if (config.exit) return config.exit(status);
    std::fflush(nullptr);
    std::_Exit(status);
  }

  // A result goes back to the connection that asked for it; when that one has gone it is
  // dropped, never handed to another client.
  static void deliver(const std::weak_ptr<Peer>& to, std::optional<plist::Bytes> data) {
    if (auto peer = to.lock())
      peer->send(xpc::encode(
          xpc::Call{.message = xpc::Message::PowermetricsResult, .data = std::move(data)}));
  }

  void startRun(const std::shared_ptr<Peer>& peer, double msSampling, bool includeGPU) {
    std::weak_ptr<Peer> to = peer;
    if (runs.fetch_add(1) >= config.maxRuns) {
      --runs;
      deliver(to, std::nullopt);
      return;
    }
    std::weak_ptr<Core> weak = weak_from_this();
    const bool started = spawn([weak, to, sampler = config.sampler, msSampling, includeGPU] {
      int launchErrno = 0;
      auto result = runSampler(sampler, msSampling, includeGPU, &launchErrno);
      if (!result && launchErrno)
        log(std::string("the sampler could not be started: ") + std::strerror(launchErrno));
      if (auto core = weak.lock()) {
        --core->runs;
        deliver(to, std::move(result));
      }
    });
    if (!started) {
      --runs;
      log("no thread for a sampler run");
      deliver(to, std::nullopt);
    }
  }

  void startUninstall() {
    log("Request to uninstall Ferrolux Helper");
    std::weak_ptr<Core> weak = weak_from_this();
    spawn([weak, paths = config.install] {
      if (auto core = weak.lock()) uninstall(paths, [core](int s) { core->exitNow(s); });
    });
  }

  // The process ends only for the last admitted connection; any other is closed alone, and the
  // helper goes on serving the rest.
  void closeRequested(Peer& peer) {
    if (table->ifLastAdmitted(peer, [this] { exitNow(0); })) return;
    log("closing the connection of pid " + std::to_string(peer.pid()) + " at its request; " +
        std::to_string(table->admitted() - 1) + " other client(s) stay connected");
    peer.close();
  }

  void handle(const xpc::Call& call, const std::shared_ptr<Peer>& peer) {
    using xpc::Message;
    switch (call.message) {
      case Message::IsResponding:
        peer->send(xpc::encode(xpc::Reply{call.id, plist::Value(true)}));
        break;
      case Message::GetVersion:
        peer->send(xpc::encode(xpc::Reply{call.id, xpc::bundleShortVersion(infoList())}));
        break;
      case Message::RequestPowermetrics:
        startRun(peer, call.msSampling, call.includeGPU);
        break;
      case Message::UnInstallHelper:
        startUninstall();
        break;
      case Message::CloseHelper:
        closeRequested(*peer);
        break;
      case Message::PowermetricsResult:  // never decoded on this side
        break;
    }
  }

  // The connection's thread: the admission check, then its calls until it ends.
  void serve(xpc::UniqueFd fd, PeerInfo info, std::shared_ptr<ConnectionTable::Check> check) {
    bool admitted = false;
    {
      // The peer's pidfd is needed only for the check.
      const xpc::UniqueFd pidfd(info.pidfd);
      admitted = config.admit && config.admit(info);
      info.pidfd = -1;
    }
    auto peer = admitted
                    ? std::make_shared<Peer>(std::move(fd), info.pid, info.uid, config.sendBudget)
                    : nullptr;
    if (!table->finishCheck(check, admitted, peer)) {
      table->forget(nullptr);
      return;  // closed without a hello
    }
    log("Client is valid");
    // A client that stops reading must not hold a sampler thread in a write forever.
    xpc::setSendTimeout(peer->fd(), 5);
    if (peer->send(xpc::encode(xpc::Hello{xpc::kProtocolVersion}))) {
      xpc::FrameReader reader(peer->fd(), xpc::kMaxFrameToHelper);
      std::string body;
      while (peer->isOpen() && reader.next(body) == xpc::FrameReader::Status::Frame) {
        const auto frame = xpc::decode(body, xpc::Receiver::Helper);
        const auto* call = frame ? std::get_if<xpc::Call>(&*frame) : nullptr;
        if (!call) break;  // bad input ends this connection only
        handle(*call, peer);
      }
    }
    peer->close();
    table->forget(peer.get());
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
    PeerInfo info;
    ucred cred{};
    socklen_t len = sizeof cred;
    if (::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &cred, &len) != 0) return;
    int pidfd = -1;
    socklen_t pidfdLen = sizeof pidfd;
    if (::getsockopt(fd, SOL_SOCKET, SO_PEERPIDFD, &pidfd, &pidfdLen) != 0) pidfd = -1;
    info.pid = cred.pid;
    info.uid = cred.uid;
    info.gid = cred.gid;
    info.pidfd = pidfd;
    info.socketFd = fd;
    auto check = table->beginCheck(fd, info.pid, info.uid);
    if (!check) {
      if (pidfd >= 0) ::close(pidfd);
      return;
    }
    auto self = shared_from_this();
    auto shared = std::make_shared<xpc::UniqueFd>(std::move(owned));
    if (!spawn([self, shared, info, check] { self->serve(std::move(*shared), info, check); })) {
      if (pidfd >= 0) ::close(pidfd);
      table->finishCheck(check, false, nullptr);
      table->forget(nullptr);
    }
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
  const ConnectionLimits& wanted = core_->config.limits;
  core_->table = std::make_unique<ConnectionTable>(
      fitToDescriptors(wanted, core_->config.maxRuns, descriptorLimit()));
  if (core_->table->limits().maxConnections < wanted.maxConnections)
    log("the descriptor limit allows " + std::to_string(core_->table->limits().maxConnections) +
        " connections at once");
  for (;;) {
    // While the table is full the listener is left alone and new peers wait in the backlog;
    // a slot is looked for again shortly.
    const bool accepting = core_->table->mayAccept();
    const auto due = core_->table->expireOverdue(ConnectionTable::Clock::now());
    int timeout = due ? static_cast<int>(std::min<long long>(due->count(), 1000)) : -1;
    if (!accepting) timeout = timeout < 0 ? 10 : std::min(timeout, 10);
    pollfd fds[2] = {{core_->wakeRead.get(), POLLIN, 0}, {listenFd, POLLIN, 0}};
    if (::poll(fds, accepting ? 2 : 1, timeout) < 0) {
      if (errno == EINTR) continue;
      return;
    }
    if (fds[0].revents) return;
    if (!accepting) continue;
    if (fds[1].revents & (POLLERR | POLLNVAL)) return;
    if (fds[1].revents & POLLIN) core_->accept(listenFd);
  }
}

void XPCServer::stop() {
  if (core_->wakeWrite.valid()) {
    const char c = 0;
    [[maybe_unused]] auto n = ::write(core_->wakeWrite.get(), &c, 1);
  }
}

}  // namespace helper
