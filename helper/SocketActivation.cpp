#include "helper/SocketActivation.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <charconv>
#include <cstdlib>
#include <cstring>

namespace helper {
namespace {

// A whole decimal number and nothing else; no sign, no spaces.
std::optional<long long> decimal(const char* text) {
  if (!text || !*text) return std::nullopt;
  const char* end = text + std::strlen(text);
  long long v = 0;
  auto [stop, ec] = std::from_chars(text, end, v);
  if (ec != std::errc() || stop != end || v < 0) return std::nullopt;
  return v;
}

}  // namespace

int passedFdCount(const char* listenPid, const char* listenFds, pid_t self) {
  const auto pid = decimal(listenPid);
  if (!pid || *pid != self) return 0;
  const auto n = decimal(listenFds);
  // Far more than any socket unit passes; a bound keeps the loop over them finite.
  if (!n || *n > 1024) return 0;
  return static_cast<int>(*n);
}

bool isListeningUnixStream(int fd) {
  struct stat st;
  if (::fstat(fd, &st) != 0 || !S_ISSOCK(st.st_mode)) return false;
  int value = 0;
  socklen_t len = sizeof value;
  if (::getsockopt(fd, SOL_SOCKET, SO_DOMAIN, &value, &len) != 0 || value != AF_UNIX) return false;
  len = sizeof value;
  if (::getsockopt(fd, SOL_SOCKET, SO_TYPE, &value, &len) != 0 || value != SOCK_STREAM)
    return false;
  len = sizeof value;
  return ::getsockopt(fd, SOL_SOCKET, SO_ACCEPTCONN, &value, &len) == 0 && value == 1;
}

std::optional<int> takeActivatedSocket() {
  const int n = passedFdCount(std::getenv("LISTEN_PID"), std::getenv("LISTEN_FDS"), ::getpid());
  ::unsetenv("LISTEN_PID");
  ::unsetenv("LISTEN_FDS");
  ::unsetenv("LISTEN_FDNAMES");
  for (int fd = kFirstPassedFd; fd < kFirstPassedFd + n; ++fd) {
    const int flags = ::fcntl(fd, F_GETFD);
    if (flags >= 0) ::fcntl(fd, F_SETFD, flags | FD_CLOEXEC);
  }
  if (n != 1 || !isListeningUnixStream(kFirstPassedFd)) return std::nullopt;
  return kFirstPassedFd;
}

}  // namespace helper
