// The few socket operations both ends of the helper link need.
#pragma once

#include <string>
#include <string_view>
#include <utility>

#include "shared/process/UniqueFd.h"
#include "shared/xpc/Frame.h"

namespace xpc {

using UniqueFd = proc::UniqueFd;

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
