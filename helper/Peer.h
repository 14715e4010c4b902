// One admitted connection as the helper sees it: its socket, who is at the other end, and the
// frames on their way to it.
//
// Replies are written by the connection's own thread, results by the sampler run that produced
// them, so several threads may send at once; they take turns, one whole frame each. A frame
// waiting for its turn is held in memory, so each connection has a budget of waiting frames and
// bytes: a client that stops reading while its results pile up is closed, with a log line, rather
// than allowed to hold the helper's memory.
#pragma once

#include <sys/types.h>

#include <atomic>
#include <cstddef>
#include <mutex>
#include <string>

#include "shared/xpc/Socket.h"

namespace helper {

struct SendBudget {
  size_t frames = 64;        // frames waiting for their turn at once
  size_t bytes = 16u << 20;  // their bytes together
};

class Peer {
 public:
  Peer(xpc::UniqueFd fd, pid_t pid, uid_t uid, SendBudget budget)
      : fd_(std::move(fd)), pid_(pid), uid_(uid), budget_(budget) {}
  Peer(const Peer&) = delete;
  Peer& operator=(const Peer&) = delete;

  int fd() const { return fd_.get(); }
  pid_t pid() const { return pid_; }
  uid_t uid() const { return uid_; }
  bool isOpen() const { return open_.load(); }

  // Writes one frame; false when the connection is closed, the write failed (the connection is
  // then closed) or the frame would overdraw the budget (likewise).
  bool send(const std::string& frame);
  // Shuts the socket down, which also ends the connection's reading thread. The descriptor is
  // closed with the last owner. Idempotent.
  void close();

 private:
  xpc::UniqueFd fd_;
  const pid_t pid_;
  const uid_t uid_;
  const SendBudget budget_;
  std::mutex writeMutex_;
  std::mutex budgetMutex_;  // guards the two counts below
  size_t waitingFrames_ = 0;
  size_t waitingBytes_ = 0;
  std::atomic<bool> open_{true};
};

}  // namespace helper
