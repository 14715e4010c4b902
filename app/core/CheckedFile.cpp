#include "app/core/CheckedFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <system_error>

#include "shared/process/UniqueFd.h"
#include "shared/process/WriteAll.h"

namespace checkedfile {

namespace {

std::string reason(int error) {
  return std::error_code(error, std::generic_category()).message();
}

std::string kindOf(mode_t mode) {
  if (S_ISFIFO(mode)) return "a FIFO";
  if (S_ISCHR(mode) || S_ISBLK(mode)) return "a device";
  if (S_ISDIR(mode)) return "a folder";
  if (S_ISSOCK(mode)) return "a socket";
  return "not a regular file";
}

std::string folderOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::string baseOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// A fresh temporary beside the destination, written, synced and closed. `mode`, when not 0, is
// given to it (a replaced file keeps its permissions); otherwise the umask decides, as for any
// new file. Returns "" and the temporary's path, or the reason with nothing left behind.
std::string writeTemporary(const std::string& folder, const std::string& base,
                           std::string_view bytes, mode_t mode, std::string* temporary) {
  static std::atomic<unsigned> counter{0};
  for (int attempt = 0; attempt < 100; ++attempt) {
    const auto tick = std::chrono::steady_clock::now().time_since_epoch().count();
    const std::string path =
        folder + "/." + base + "." + std::to_string(::getpid()) + "." + std::to_string(counter++) +
        "." + std::to_string(static_cast<unsigned long long>(tick) % 1000000) + ".tmp";
    proc::UniqueFd fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
    if (fd.get() < 0) {
      if (errno == EEXIST) continue;
      return reason(errno);
    }
    errno = 0;
    std::string why;
    if (!proc::writeAll(fd.get(), bytes)) why = errno != 0 ? reason(errno) : "short write";
    if (why.empty() && mode != 0 && ::fchmod(fd.get(), mode) != 0) why = reason(errno);
    // The data reach the disk before the name does, so a crash never leaves an empty file.
    if (why.empty() && ::fsync(fd.get()) != 0) why = reason(errno);
    if (fd.close() != 0 && why.empty()) why = reason(errno);
    if (!why.empty()) {
      ::unlink(path.c_str());
      return why;
    }
    *temporary = path;
    return {};
  }
  return "no free temporary name";
}

// Makes the rename itself durable. A file system that cannot sync a folder says EINVAL; the
// file's own data are synced by then.
std::string syncFolder(const std::string& folder) {
  proc::UniqueFd fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (fd.get() < 0) return reason(errno);
  if (::fsync(fd.get()) != 0 && errno != EINVAL) return reason(errno);
  return {};
}

// Reads `path` back and compares it with what was meant to be there.
std::string verify(const std::string& path, std::string_view bytes) {
  proc::UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
  if (fd.get() < 0) return "cannot read it back: " + reason(errno);
  std::string back;
  back.reserve(bytes.size());
  char chunk[65536];
  for (;;) {
    const ssize_t n = ::read(fd.get(), chunk, sizeof chunk);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return "cannot read it back: " + reason(errno);
    if (n == 0) break;
    back.append(chunk, static_cast<std::size_t>(n));
    if (back.size() > bytes.size()) break;
  }
  if (back != bytes) return "it reads back different from what was written";
  return {};
}

// Where `path` leads: itself, or the target of a link to a regular file. Sets `mode` to the
// existing file's permissions (0 when there is none yet). "" or why it must not be written.
std::string resolveTarget(const std::string& path, std::string* target, mode_t* mode) {
  *target = path;
  *mode = 0;
  struct stat own {};
  if (::lstat(path.c_str(), &own) != 0) {
    if (errno == ENOENT) return {};
    return path + ": " + reason(errno);
  }
  struct stat st = own;
  if (S_ISLNK(own.st_mode)) {
    if (::stat(path.c_str(), &st) != 0)
      return path + " is a link to " + (errno == ENOENT ? "nothing" : reason(errno));
    if (!S_ISREG(st.st_mode)) return path + " is a link to " + kindOf(st.st_mode);
    char resolved[PATH_MAX];
    if (!::realpath(path.c_str(), resolved)) return path + ": " + reason(errno);
    *target = resolved;
  } else if (!S_ISREG(st.st_mode)) {
    return path + " is " + kindOf(st.st_mode);
  }
  *mode = st.st_mode & 07777;
  return {};
}

}  // namespace

std::string checkTarget(const std::string& path) {
  std::string target;
  mode_t mode = 0;
  return resolveTarget(path, &target, &mode);
}

std::string replaceFile(const std::string& path, std::string_view bytes) {
  std::string target;
  mode_t mode = 0;
  if (std::string why = resolveTarget(path, &target, &mode); !why.empty()) return why;
  const std::string folder = folderOf(target);
  std::string temporary;
  if (std::string why = writeTemporary(folder, baseOf(target), bytes, mode, &temporary);
      !why.empty())
    return why;
  // Checked again just before the rename: something may have taken the name meanwhile.
  std::string again;
  if (std::string why = resolveTarget(target, &again, &mode); !why.empty()) {
    ::unlink(temporary.c_str());
    return why;
  }
  if (::rename(temporary.c_str(), target.c_str()) != 0) {
    const int error = errno;
    ::unlink(temporary.c_str());
    return reason(error);
  }
  if (std::string why = syncFolder(folder); !why.empty()) return why;
  return verify(target, bytes);
}

NewFile writeNewFile(const std::string& folder, const std::string& stem,
                     const std::string& extension, std::string_view bytes) {
  struct stat st {};
  if (::stat(folder.c_str(), &st) != 0)
    return {{}, errno == ENOENT ? "no such folder" : reason(errno)};
  if (!S_ISDIR(st.st_mode)) return {{}, "not a folder"};
  std::string temporary;
  if (std::string why = writeTemporary(folder, stem + extension, bytes, 0, &temporary);
      !why.empty())
    return {{}, why};
  for (int n = 1; n < 10000; ++n) {
    const std::string path =
        folder + "/" + stem + (n > 1 ? " " + std::to_string(n) : std::string()) + extension;
    // Taking the name fails when it exists, so two writers never share one.
    int result = ::renameat2(AT_FDCWD, temporary.c_str(), AT_FDCWD, path.c_str(), RENAME_NOREPLACE);
    if (result != 0 && (errno == EINVAL || errno == ENOSYS)) {
      // A file system without that rename: a hard link is just as exclusive.
      result = ::link(temporary.c_str(), path.c_str());
      if (result == 0) ::unlink(temporary.c_str());
    }
    if (result != 0 && errno == EEXIST) continue;
    if (result != 0) {
      const int error = errno;
      ::unlink(temporary.c_str());
      return {{}, reason(error)};
    }
    std::string why = syncFolder(folder);
    if (why.empty()) why = verify(path, bytes);
    if (!why.empty()) {
      ::unlink(path.c_str());
      return {{}, why};
    }
    return {path, {}};
  }
  ::unlink(temporary.c_str());
  return {{}, "every name is taken"};
}

}  // namespace checkedfile
