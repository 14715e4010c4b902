// Ownership of one file descriptor, shared by every part that opens files, pipes and sockets.
#pragma once

#include <unistd.h>

#include <utility>

namespace proc {

// Owns one descriptor and closes it once, on every path out.
class UniqueFd {
 public:
  UniqueFd() = default;
  explicit UniqueFd(int fd) : fd_(fd) {}
  UniqueFd(UniqueFd&& o) noexcept : fd_(o.release()) {}
  UniqueFd& operator=(UniqueFd&& o) noexcept {
    if (this != &o) reset(o.release());
    return *this;
  }
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;
  ~UniqueFd() { reset(); }

  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }
  explicit operator bool() const { return valid(); }
  int release() { return std::exchange(fd_, -1); }
  void reset(int fd = -1) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = fd;
  }
  // Closes now and says how that went: close() can report a write the kernel deferred.
  int close() { return valid() ? ::close(release()) : 0; }

 private:
  int fd_ = -1;
};

}  // namespace proc
