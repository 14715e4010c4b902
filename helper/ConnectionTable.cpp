#include "helper/ConnectionTable.h"

#include <sys/socket.h>

#include <algorithm>
#include <string>

#include "helper/Log.h"
#include "helper/Peer.h"

namespace helper {

ConnectionLimits fitToDescriptors(ConnectionLimits limits, size_t maxRuns, size_t descriptorLimit) {
  const size_t reserved = kDescriptorsOfTheHelper + maxRuns * kDescriptorsPerRun +
                          limits.maxChecking * kDescriptorsPerCheck;
  const size_t room = descriptorLimit > reserved ? descriptorLimit - reserved : 0;
  limits.maxConnections = std::max<size_t>(1, std::min(limits.maxConnections, room));
  limits.maxChecking = std::min(limits.maxChecking, limits.maxConnections);
  return limits;
}

bool ConnectionTable::userIsFull(uid_t uid, pid_t pid) const {
  const auto it = perUser_.find(uid);
  if (it == perUser_.end() || it->second < limits_.maxPerUser) return false;
  log("refusing a connection from pid " + std::to_string(pid) + ": user " + std::to_string(uid) +
      " already has " + std::to_string(limits_.maxPerUser) + " connections admitted");
  return true;
}

bool ConnectionTable::mayAccept() const {
  std::lock_guard lock(mutex_);
  return connections_ < limits_.maxConnections && checking_.size() < limits_.maxChecking;
}

std::shared_ptr<ConnectionTable::Check> ConnectionTable::beginCheck(int fd, pid_t pid, uid_t uid) {
  std::lock_guard lock(mutex_);
  if (userIsFull(uid, pid)) return nullptr;
  auto check = std::make_shared<Check>();
  check->fd = fd;
  check->pid = pid;
  check->uid = uid;
  check->deadline = Clock::now() + limits_.checkTimeLimit;
  checking_.push_back(check);
  ++connections_;
  if (connections_ >= limits_.maxConnections && !loggedFull_) {
    loggedFull_ = true;
    log("at the limit of " + std::to_string(limits_.maxConnections) +
        " connections; later ones wait until one ends");
  }
  return check;
}

bool ConnectionTable::finishCheck(const std::shared_ptr<Check>& check, bool admitted,
                                  const std::shared_ptr<Peer>& peer) {
  std::lock_guard lock(mutex_);
  checking_.remove(check);
  int running = Check::kRunning;
  if (!check->state_.compare_exchange_strong(running, Check::kDone) || !admitted || !peer)
    return false;
  if (userIsFull(check->uid, check->pid)) return false;
  ++perUser_[check->uid];
  admitted_.emplace(peer.get(), check->uid);
  return true;
}

void ConnectionTable::forget(const Peer* peer) {
  std::lock_guard lock(mutex_);
  if (peer) {
    if (auto it = admitted_.find(peer); it != admitted_.end()) {
      if (--perUser_[it->second] == 0) perUser_.erase(it->second);
      admitted_.erase(it);
    }
  }
  if (connections_ > 0) --connections_;
  if (connections_ < limits_.maxConnections) loggedFull_ = false;
}

std::optional<std::chrono::milliseconds> ConnectionTable::expireOverdue(Clock::time_point now) {
  std::lock_guard lock(mutex_);
  std::optional<Clock::time_point> next;
  for (const auto& check : checking_) {
    if (check->state_.load() != Check::kRunning) continue;
    if (check->deadline > now) {
      next = next ? std::min(*next, check->deadline) : check->deadline;
      continue;
    }
    int running = Check::kRunning;
    if (!check->state_.compare_exchange_strong(running, Check::kExpired)) continue;
    // The checking thread still owns the descriptor; shutting the socket down tells the peer
    // without closing a number that could be reused under that thread.
    ::shutdown(check->fd, SHUT_RDWR);
    log("closing the connection of pid " + std::to_string(check->pid) + " (user " +
        std::to_string(check->uid) + "): its admission check took longer than " +
        std::to_string(limits_.checkTimeLimit.count()) + " ms");
  }
  if (!next) return std::nullopt;
  return std::chrono::ceil<std::chrono::milliseconds>(*next - now);
}

bool ConnectionTable::ifLastAdmitted(const Peer& peer, const std::function<void()>& onLast) {
  std::lock_guard lock(mutex_);
  if (admitted_.size() != 1 || !admitted_.contains(&peer)) return false;
  onLast();
  return true;
}

size_t ConnectionTable::admitted() const {
  std::lock_guard lock(mutex_);
  return admitted_.size();
}

}  // namespace helper
