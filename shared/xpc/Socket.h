// Descriptor ownership and the few socket operations both ends of the helper link need.
#pragma once

#include <string>
#include <string_view>
#include <utility>

#include "shared/xpc/Frame.h"

namespace xpc {

// Owns one file descriptor; closes it once.
class UniqueFd {
 public:
  UniqueFd() = default;
  explicit UniqueFd(int fd) : fd_(fd) {}
  UniqueFd(UniqueFd&& o) noexcept : fd_(std::exchange(o.fd_, -1)) {}
  UniqueFd& operator=(UniqueFd&& o) noexcept {
    if (this != &o) reset(std::exchange(o.fd_, -1));
    return *this;
  }
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;
  ~UniqueFd() { reset(); }

  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }
  int release() { return std::exchange(fd_, -1); }
  void reset(int fd = -1);

 private:
  int fd_ = -1;
};

// Connects a stream socket to `path`; invalid on failure (errno tells why).
UniqueFd connectUnix(std::string_view path);

// Creates a listening stream socket at `path`, replacing a stale socket left there (never any
// other kind of file). Invalid on failure.
UniqueFd listenUnix(std::string_view path, int backlog = 256);

// Writes all bytes, retrying short writes; never raises SIGPIPE. False when the peer is gone or
// the send timeout (if one is set on the socket) expired.
bool writeAll(int fd, std::string_view bytes);

// Sets how long a blocked write may wait before failing, so a peer that stops reading cannot
// hold a writer forever.
void setSendTimeout(int fd, int seconds);

// Reads frames from a blocking socket.
class FrameReader {
 public:
  enum class Status { Frame, Closed, Truncated, TooLong };

  FrameReader(int fd, size_t maxBody) : fd_(fd), decoder_(maxBody) {}
  // Blocks until a whole frame arrived, the peer closed (between frames: Closed; inside a
  // frame: Truncated), or a header announced too long a body.
  Status next(std::string& body);

 private:
  int fd_;
  FrameDecoder decoder_;
};

}  // namespace xpc
