// A private, immutable copy of a program the installer was handed.
//
// The source is named once (never through a final symbolic link) and opened for reading only
// once that name is known to be a regular file, so nothing else is ever opened as root; its bytes
// are copied into a sealed memory file. Everything after that (signature checks, reading the
// embedded lists, writing the installed file) reads the sealed copy, so a caller who swaps or
// rewrites the source after it was opened cannot make the installer copy anything other than what
// it verified.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "shared/xpc/Socket.h"

namespace bless {

class SealedCopy {
 public:
  // nullopt (with the reason in `error`) when the file is missing, a symbolic link or not a
  // regular file (one message for all of these), is larger than `maxSize`, or the copy cannot be
  // made and sealed.
  static std::optional<SealedCopy> take(const std::string& path, std::uint64_t maxSize,
                                        std::string& error);

  int fd() const { return fd_.get(); }
  std::uint64_t size() const { return size_; }
  const std::string& path() const { return path_; }  // where it was taken from, for messages

 private:
  SealedCopy(xpc::UniqueFd fd, std::uint64_t size, std::string path)
      : fd_(std::move(fd)), size_(size), path_(std::move(path)) {}
  xpc::UniqueFd fd_;
  std::uint64_t size_ = 0;
  std::string path_;
};

// Programs are a few megabytes; a debug build of the application is the largest.
inline constexpr std::uint64_t kMaxProgramSize = std::uint64_t{512} << 20;

}  // namespace bless
