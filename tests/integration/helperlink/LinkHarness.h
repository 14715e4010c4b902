// The real helper on a scratch socket, reached through a relay that records what the
// application's side sends over each connection.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "integration/helper/HelperHarness.h"
#include "shared/codesign/Certificate.h"
#include "shared/codesign/Signer.h"
#include "shared/xpc/Frame.h"
#include "shared/xpc/Message.h"
#include "shared/xpc/Protocol.h"
#include "shared/xpc/Socket.h"

namespace linktest {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// Signs a patched helper again with the build's developer identity: the helper checks that its
// clients are signed by the same signer as itself, so a patched copy must carry a fresh
// signature to admit anyone.
inline bool resign(const std::string& path) {
  std::string cert, key, error;
  if (!codesign::readWholeFile(FERROLUX_SIGNING_CERT_FILE, cert, error) ||
      !codesign::readWholeFile(FERROLUX_SIGNING_KEY_FILE, key, error))
    return false;
  const auto identity = codesign::loadSigningIdentity(cert, key, error);
  return identity && codesign::signFile(path, std::string(xpc::kServiceName), &*identity, error);
}

// Accepts the application's connections on its own path and passes every byte through to the
// helper's socket, decoding what goes towards the helper. The helper sees the relay, i.e. this
// signed test process, as its peer.
class Relay {
 public:
  struct Call {
    int connection;  // 1 for the first relayed connection
    xpc::Message message;
    Clock::time_point at;
  };

  Relay(std::string path, std::string helperPath)
      : path_(std::move(path)), helperPath_(std::move(helperPath)) {
    listen_ = xpc::listenUnix(path_);
    acceptor_ = std::thread([this] { acceptLoop(); });
  }
  ~Relay() {
    ::shutdown(listen_.get(), SHUT_RDWR);
    acceptor_.join();
    std::vector<std::thread> threads;
    {
      std::lock_guard l(m_);
      for (const auto& fd : fds_)
        ::shutdown(fd->get(), SHUT_RDWR);
      threads.swap(threads_);
    }
    for (auto& t : threads)
      t.join();
  }

  const std::string& path() const { return path_; }
  std::vector<Call> calls() const {
    std::lock_guard l(m_);
    return calls_;
  }
  int connections() const { return accepted_; }
  // The calls of one kind, in order.
  std::vector<Call> callsOf(xpc::Message m) const {
    std::vector<Call> out;
    for (const auto& c : calls())
      if (c.message == m) out.push_back(c);
    return out;
  }

 private:
  void acceptLoop() {
    for (;;) {
      const int client = ::accept(listen_.get(), nullptr, nullptr);
      if (client < 0) return;
      const int index = ++accepted_;
      auto clientFd = std::make_shared<xpc::UniqueFd>(client);
      auto helperFd = std::make_shared<xpc::UniqueFd>(xpc::connectUnix(helperPath_).release());
      std::lock_guard l(m_);
      fds_.push_back(clientFd);
      fds_.push_back(helperFd);
      if (!helperFd->valid()) {
        ::shutdown(client, SHUT_RDWR);
        continue;
      }
      threads_.emplace_back(
          [this, clientFd, helperFd, index] { pump(clientFd->get(), helperFd->get(), index); });
      threads_.emplace_back(
          [this, clientFd, helperFd] { pump(helperFd->get(), clientFd->get(), 0); });
    }
  }

  // Copies bytes from `from` to `to` until either side ends, then ends both. Calls towards the
  // helper (index > 0) are recorded as their frames complete.
  void pump(int from, int to, int index) {
    xpc::FrameDecoder decoder(xpc::kMaxFrameToClient);
    char buffer[65536];
    for (;;) {
      const ssize_t n = ::read(from, buffer, sizeof buffer);
      if (n <= 0) break;
      if (index > 0) {
        decoder.feed(std::string_view(buffer, static_cast<size_t>(n)));
        std::string body;
        while (decoder.next(body) == xpc::FrameDecoder::Status::Frame) {
          const auto frame = xpc::decode(body, xpc::Receiver::Helper);
          if (!frame) continue;
          std::lock_guard l(m_);
          calls_.push_back({index, std::get<xpc::Call>(*frame).message, Clock::now()});
        }
      }
      if (!xpc::writeAll(to, std::string_view(buffer, static_cast<size_t>(n)))) break;
    }
    ::shutdown(from, SHUT_RDWR);
    ::shutdown(to, SHUT_RDWR);
  }

  std::string path_;
  std::string helperPath_;
  xpc::UniqueFd listen_;
  std::thread acceptor_;
  std::atomic<int> accepted_{0};
  mutable std::mutex m_;
  std::vector<std::shared_ptr<xpc::UniqueFd>> fds_;
  std::vector<std::thread> threads_;
  std::vector<Call> calls_;
};

}  // namespace linktest
