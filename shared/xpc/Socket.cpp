#include "shared/xpc/Socket.h"

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace xpc {
namespace {

bool fillAddress(std::string_view path, sockaddr_un& addr) {
  std::memset(&addr, 0, sizeof addr);
  addr.sun_family = AF_UNIX;
  if (path.empty() || path.size() >= sizeof addr.sun_path) {
    errno = ENAMETOOLONG;
    return false;
  }
  std::memcpy(addr.sun_path, path.data(), path.size());
  return true;
}

}  // namespace

UniqueFd connectUnix(std::string_view path) {
  sockaddr_un addr;
  if (!fillAddress(path, addr)) return {};
  UniqueFd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (!fd.valid()) return {};
  int rc;
  do {
    rc = ::connect(fd.get(), reinterpret_cast<sockaddr*>(&addr), sizeof addr);
  } while (rc != 0 && errno == EINTR);
  if (rc != 0) return {};
  return fd;
}

UniqueFd listenUnix(std::string_view path, int backlog) {
  sockaddr_un addr;
  if (!fillAddress(path, addr)) return {};
  struct stat st;
  if (::lstat(addr.sun_path, &st) == 0 && S_ISSOCK(st.st_mode)) ::unlink(addr.sun_path);
  UniqueFd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (!fd.valid()) return {};
  if (::bind(fd.get(), reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) return {};
  if (::listen(fd.get(), backlog) != 0) return {};
  return fd;
}

bool writeAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    bytes.remove_prefix(static_cast<size_t>(n));
  }
  return true;
}

void setSendTimeout(int fd, int seconds) {
  timeval tv{seconds, 0};
  ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
}

FrameReader::Status FrameReader::next(std::string& body) {
  char chunk[16384];
  for (;;) {
    switch (decoder_.next(body)) {
      case FrameDecoder::Status::Frame:
        return Status::Frame;
      case FrameDecoder::Status::Error:
        return Status::TooLong;
      case FrameDecoder::Status::NeedMore:
        break;
    }
    const ssize_t n = ::recv(fd_, chunk, sizeof chunk, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return decoder_.midFrame() ? Status::Truncated : Status::Closed;
    decoder_.feed(std::string_view(chunk, static_cast<size_t>(n)));
  }
}

}  // namespace xpc
