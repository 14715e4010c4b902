// What the helper knows about a connecting peer, and the check that decides whether to serve it.
#pragma once

#include <sys/types.h>

#include <functional>

namespace helper {

// The kernel's record of the peer, taken when the connection was accepted (SO_PEERCRED and,
// where the kernel has it, SO_PEERPIDFD). `pidfd` is -1 when the kernel gives none; it stays
// owned by the connection and is valid for the duration of the check.
struct PeerInfo {
  pid_t pid = -1;
  uid_t uid = static_cast<uid_t>(-1);
  gid_t gid = static_cast<gid_t>(-1);
  int pidfd = -1;
  int socketFd = -1;
};

// Returns true to admit the peer. Runs on the connection's thread before the hello frame; it
// logs its own refusal lines. Must fail closed.
using AdmissionCheck = std::function<bool(const PeerInfo&)>;

}  // namespace helper
