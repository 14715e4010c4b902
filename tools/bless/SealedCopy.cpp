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
namespace {}  // namespace

std::optional<SealedCopy> SealedCopy::take(const std::string& path, std::uint64_t maxSize,
                                           std::string& error) {
  // O_NONBLOCK keeps a FIFO planted in place of the file from blocking the open.
  xpc::UniqueFd source(
      ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
  if (!source.valid()) {
    error =
        path + ": " + (errno == ELOOP ? std::string("is a symbolic link") : std::strerror(errno));
    return std::nullopt;
  }
  struct stat st;
  if (::fstat(source.get(), &st) != 0 || !S_ISREG(st.st_mode)) {
    error = path + ": not a regular file";
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
