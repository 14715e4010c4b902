#include "shared/codesign/ByteSource.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <limits>

namespace codesign {

bool MemorySource::readAt(std::uint64_t offset, std::span<std::uint8_t> out,
                          std::string& error) const {
  if (offset > bytes_.size() || out.size() > bytes_.size() - offset) {
    error = "read past the end";
    return false;
  }
  if (!out.empty()) std::memcpy(out.data(), bytes_.data() + offset, out.size());
  return true;
}

FdSource::FdSource(int fd, bool& ok, std::string& error) : fd_(fd) {
  struct stat st {};
  ok = false;
  if (fstat(fd, &st) != 0) {
    error = std::string("cannot inspect the file: ") + std::strerror(errno);
    return;
  }
  if (!S_ISREG(st.st_mode) || st.st_size < 0) {
    error = "not a regular file";
    return;
  }
  size_ = static_cast<std::uint64_t>(st.st_size);
  ok = true;
}

bool FdSource::readAt(std::uint64_t offset, std::span<std::uint8_t> out, std::string& error) const {
  if (offset > size_ || out.size() > size_ - offset ||
      offset > static_cast<std::uint64_t>(std::numeric_limits<off_t>::max()) - out.size()) {
    error = "read past the end";
    return false;
  }
  std::size_t done = 0;
  while (done < out.size()) {
    ssize_t n = pread(fd_, out.data() + done, out.size() - done, static_cast<off_t>(offset + done));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      error = std::string("read failed: ") + std::strerror(errno);
      return false;
    }
    if (n == 0) {
      error = "the file became shorter while it was read";
      return false;
    }
    done += static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace codesign
