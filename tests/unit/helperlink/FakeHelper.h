// An in-process stand-in for the helper on a scratch socket: it speaks the wire protocol,
// answers the two reply messages as told, records every call per connection, and can refuse
// or drop connections on demand.
#pragma once

#include <sys/socket.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "shared/xpc/Frame.h"
#include "shared/xpc/Message.h"
#include "shared/xpc/Protocol.h"
#include "shared/xpc/Socket.h"

namespace linktest {

class FakeHelper {
 public:
  struct Call {
    int connection;  // 1 for the first accepted connection
    xpc::Message message;
  };

  explicit FakeHelper(std::string path) : path_(std::move(path)) {
    listen_ = xpc::listenUnix(path_);
    acceptor_ = std::thread([this] { acceptLoop(); });
  }
  ~FakeHelper() {
    ::shutdown(listen_.get(), SHUT_RDWR);
    acceptor_.join();
    dropAll();
    std::vector<std::thread> threads;
    {
      std::lock_guard l(m_);
      threads.swap(readers_);
    }
    for (auto& t : threads)
      t.join();
  }

  // What it answers; a refusing helper closes each new connection before its hello.
  void setVersion(std::string v) {
    std::lock_guard l(m_);
    version_ = std::move(v);
  }
  void setResponding(bool answer) { responding_ = answer; }
  void setRefusing(bool refuse) { refusing_ = refuse; }

  // Closes every open connection, as a helper that exits does.
  void dropAll() {
    std::lock_guard l(m_);
    for (auto& fd : fds_)
      ::shutdown(fd, SHUT_RDWR);
  }

  // Sends a result to the newest connection.
  bool sendResult(std::optional<plist::Bytes> data) {
    std::lock_guard l(m_);
    if (fds_.empty()) return false;
    return xpc::writeAll(fds_.back(),
                         xpc::encode(xpc::Call{.message = xpc::Message::PowermetricsResult,
                                               .data = std::move(data)}));
  }

  int connections() const {
    std::lock_guard l(m_);
    return static_cast<int>(fds_.size());
  }
  std::vector<Call> calls() const {
    std::lock_guard l(m_);
    return calls_;
  }
  int count(xpc::Message m) const {
    int n = 0;
    for (const auto& c : calls())
      n += c.message == m;
    return n;
  }

 private:
  void acceptLoop() {
    for (;;) {
      const int fd = ::accept(listen_.get(), nullptr, nullptr);
      if (fd < 0) return;
      // The hello goes out before the connection is known, so nothing can overtake it.
      if (!refusing_) xpc::writeAll(fd, xpc::encode(xpc::Hello{xpc::kProtocolVersion}));
      std::lock_guard l(m_);
      fds_.push_back(fd);
      owned_.push_back(std::make_unique<xpc::UniqueFd>(fd));
      const int index = static_cast<int>(fds_.size());
      readers_.emplace_back([this, fd, index] { serve(fd, index); });
    }
  }

  void serve(int fd, int index) {
    if (refusing_) {
      ::shutdown(fd, SHUT_RDWR);
      return;
    }
    xpc::FrameReader reader(fd, xpc::kMaxFrameToHelper);
    std::string body;
    while (reader.next(body) == xpc::FrameReader::Status::Frame) {
      const auto frame = xpc::decode(body, xpc::Receiver::Helper);
      if (!frame) break;
      const auto& call = std::get<xpc::Call>(*frame);
      std::string version;
      {
        std::lock_guard l(m_);
        calls_.push_back({index, call.message});
        version = version_;
      }
      if (call.message == xpc::Message::IsResponding)
        xpc::writeAll(fd, xpc::encode(xpc::Reply{call.id, plist::Value(responding_.load())}));
      if (call.message == xpc::Message::GetVersion)
        xpc::writeAll(fd, xpc::encode(xpc::Reply{call.id, plist::Value(version)}));
    }
    ::shutdown(fd, SHUT_RDWR);
  }

  std::string path_;
  xpc::UniqueFd listen_;
  std::thread acceptor_;
  std::atomic<bool> responding_{true};
  std::atomic<bool> refusing_{false};
  mutable std::mutex m_;
  std::string version_ = "1.4";
  std::vector<int> fds_;
  std::vector<std::unique_ptr<xpc::UniqueFd>> owned_;
  std::vector<std::thread> readers_;
  std::vector<Call> calls_;
};

}  // namespace linktest
