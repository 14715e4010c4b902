// Length-prefixed framing of the helper connection: a 4-byte big-endian length, then the body.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace xpc {

// Prefixes a body with its length. Bodies larger than 4 GiB cannot be framed; callers never
// produce them (results are capped far below).
std::string frame(std::string_view body);

// Cuts a byte stream into frame bodies. Bytes arrive in whatever pieces the socket gives; the
// decoder keeps what it has not consumed. A length above the bound is an error from which the
// decoder does not recover: the connection must be closed.
class FrameDecoder {
 public:
  enum class Status { NeedMore, Frame, Error };

  explicit FrameDecoder(size_t maxBody) : maxBody_(maxBody) {}

  void feed(std::string_view bytes);
  // Takes the next complete body out of the buffer into `body`.
  Status next(std::string& body);
  // True when some bytes of an unfinished frame are held: a stream that ends now is truncated.
  bool midFrame() const { return !failed_ && buffer_.size() > consumed_; }
  bool failed() const { return failed_; }

 private:
  size_t maxBody_;
  std::string buffer_;
  size_t consumed_ = 0;
  bool failed_ = false;
};

}  // namespace xpc
