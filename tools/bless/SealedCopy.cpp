#include "tools/bless/SealedCopy.h"
#include "shared/process/WriteAll.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

namespace bless {
std::optional<SealedCopy> SealedCopy::take(const std::string& path, std::uint64_t maxSize,
                                           std::string& error) {
  // The installer runs as root on paths a user chose. An O_PATH descriptor names the file
  // without opening it, so a device node or FIFO in its place sees no open (and none of an
  // open's side effects); only a regular file is then opened for reading, through that same
  // descriptor. Every way of failing gives the same words, so the error does not tell a caller
  // what lies at a path that the caller could not see.
  const std::string refused = path + ": not a regular file";
  xpc::UniqueFd handle(::open(path.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC));
  struct stat st;
  if (!handle.valid() || ::fstat(handle.get(), &st) != 0 || !S_ISREG(st.st_mode)) {
    error = refused;
    return std::nullopt;
  }
  const std::string reopen = "/proc/self/fd/" + std::to_string(handle.get());
  xpc::UniqueFd source(::open(reopen.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY));
  struct stat opened;
  if (!source.valid() || ::fstat(source.get(), &opened) != 0 || opened.st_dev != st.st_dev ||
      opened.st_ino != st.st_ino) {
    error = refused;
    return std::nullopt;
  }
  if (static_cast<std::uint64_t>(st.st_size) > maxSize) {
    error = path + ": larger than " + std::to_string(maxSize) + " bytes";
    return std::nullopt;
  }

  xpc::UniqueFd copy(::memfd_create("ferrolux-bless", MFD_CLOEXEC | MFD_ALLOW_SEALING));
  if (!copy.valid()) {
    error = std::string("cannot make a private copy: ") + std::strerror(errno);
    return std::nullopt;
  }
  // Read to the end rather than trusting the size seen above: the file may still be growing.
  std::vector<char> buffer(1 << 16);
  std::uint64_t total = 0;
  for (;;) {
    const ssize_t n = ::read(source.get(), buffer.data(), buffer.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      error = path + ": " + std::strerror(errno);
      return std::nullopt;
    }
    if (n == 0) break;
    total += static_cast<std::uint64_t>(n);
    if (total > maxSize) {
      error = path + ": larger than " + std::to_string(maxSize) + " bytes";
      return std::nullopt;
    }
    if (!proc::writeAll(copy.get(), std::string_view(buffer.data(), static_cast<size_t>(n)))) {
      error = std::string("cannot make a private copy: ") + std::strerror(errno);
      return std::nullopt;
    }
  }
  if (::fcntl(copy.get(), F_ADD_SEALS, F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_WRITE | F_SEAL_SEAL) !=
      0) {
    error = std::string("cannot seal the private copy: ") + std::strerror(errno);
    return std::nullopt;
  }
  return SealedCopy(std::move(copy), total, path);
}

}  // namespace bless
