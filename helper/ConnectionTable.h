// The helper's account of its connections: those whose peer is being checked, those admitted,
// and the limits on both.
//
// Checking a peer costs a thread and a handful of descriptors (the peer's process directory, its
// executable, the files read through it) for as long as the check runs, and anyone who can reach
// the socket can make the helper do it. So few checks run at once; while they are all busy the
// listener takes no more connections and later peers wait in the kernel's backlog, at no cost to
// the helper. A check that runs past its time limit has its connection closed (the peer sees a
// refusal); its slot is given back only when its thread really lets go of what it holds.
//
// Admitted connections count per user; past the cap a further one is refused. Every limit that
// is hit says so in the log.
//
// Threads: every member may be called from any thread.
#pragma once

#include <sys/types.h>

#include <atomic>
#include <chrono>
#include <cstddef>
#include <functional>
#include <list>
#include <map>
#include <memory>
#include <mutex>
#include <optional>

namespace helper {

class Peer;

struct ConnectionLimits {
  size_t maxConnections = 512;  // being checked and admitted, together
  size_t maxChecking = 8;       // peers checked at once
  size_t maxPerUser = 32;       // admitted connections of one user
  std::chrono::milliseconds checkTimeLimit{30000};
};

// Descriptors a sampler run holds at most (/dev/null, three pipes, its pidfd), one admission
// check at most (the socket, the peer's pidfd, its process directory, its executable, a file read
// through that directory), and the helper itself besides (standard streams, listener, wake pipe,
// its own executable during the first check).
inline constexpr size_t kDescriptorsPerRun = 8;
inline constexpr size_t kDescriptorsPerCheck = 6;
inline constexpr size_t kDescriptorsOfTheHelper = 16;

// `limits` with maxConnections lowered so that, with every run and every check under way at
// once, the connections still fit in `descriptorLimit` (the process's RLIMIT_NOFILE). An admitted
// connection holds one descriptor. At least one connection is always allowed.
ConnectionLimits fitToDescriptors(ConnectionLimits limits, size_t maxRuns, size_t descriptorLimit);

class ConnectionTable {
 public:
  using Clock = std::chrono::steady_clock;

  explicit ConnectionTable(ConnectionLimits limits) : limits_(limits) {}

  // One peer under check. Shared by the checking thread and the table (for its time limit).
  class Check {
   public:
    // True once the time limit closed the connection; the check's verdict is then ignored.
    bool expired() const { return state_.load() == kExpired; }

   private:
    friend class ConnectionTable;
    static constexpr int kRunning = 0, kDone = 1, kExpired = 2;
    int fd = -1;
    pid_t pid = -1;
    uid_t uid = 0;
    Clock::time_point deadline;
    std::atomic<int> state_{kRunning};
  };

  // Whether the listener may take one more connection now.
  bool mayAccept() const;
  // Takes a connection slot and a check slot for a peer on `fd`; null (and a log line) when the
  // peer's user already has its cap of admitted connections, so no check is spent on it.
  std::shared_ptr<Check> beginCheck(int fd, pid_t pid, uid_t uid);
  // The check has returned: gives its check slot back. An admitted peer is registered and true
  // returned, unless the time limit already closed it or its user reached the cap meanwhile (a
  // log line says which). The connection slot stays taken until forget().
  bool finishCheck(const std::shared_ptr<Check>& check, bool admitted,
                   const std::shared_ptr<Peer>& peer);
  // Gives back the connection slot of a connection that ends (admitted or not).
  void forget(const Peer* peer);

  // Closes the connections whose check ran past its time limit, each with a log line. Returns
  // how long until the next limit falls due, or nothing while no check runs.
  std::optional<std::chrono::milliseconds> expireOverdue(Clock::time_point now);

  // Runs `onLast` with new admissions held off when `peer` is the only admitted connection, and
  // returns true; false (and nothing run) while other admitted connections are open.
  bool ifLastAdmitted(const Peer& peer, const std::function<void()>& onLast);

  size_t admitted() const;
  const ConnectionLimits& limits() const { return limits_; }

 private:
  // With the lock held: true, with its log line, when `uid` has its cap of admitted connections.
  bool userIsFull(uid_t uid, pid_t pid) const;

  const ConnectionLimits limits_;
  mutable std::mutex mutex_;  // guards everything below
  size_t connections_ = 0;    // slots taken: checking and admitted
  std::list<std::shared_ptr<Check>> checking_;
  std::map<const Peer*, uid_t> admitted_;
  std::map<uid_t, size_t> perUser_;
  bool loggedFull_ = false;  // the connection cap's line, once per time it is reached
};

}  // namespace helper
