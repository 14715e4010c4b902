#include "helper/admission/PeerProcess.h"

#include <fcntl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string_view>

namespace helper {

namespace {

constexpr const char* kNoSuchProcess = "no such process";
constexpr const char* kExited = "the process has exited";

struct ProcState {
  char state = '?';
  unsigned long long startTime = 0;
};

bool readAllAt(int dirFd, const char* name, std::string& out) {
  UniqueFd fd(openat(dirFd, name, O_RDONLY | O_CLOEXEC));
  if (!fd) return false;
  char buf[4096];
  out.clear();
  for (;;) {
    ssize_t n = read(fd.get(), buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0) return true;
    out.append(buf, static_cast<std::size_t>(n));
    if (out.size() > 64 * 1024) return false;
  }
}

// Reads the state letter and start time from the process's stat file. The command name sits in
// parentheses and may itself contain spaces and parentheses, so fields are counted from the last
// closing parenthesis.
std::optional<ProcState> readState(int dirFd) {
  std::string text;
  if (!readAllAt(dirFd, "stat", text)) return std::nullopt;
  std::size_t close = text.rfind(')');
  if (close == std::string::npos || close + 2 >= text.size()) return std::nullopt;
  std::string_view rest(text);
  rest.remove_prefix(close + 2);
  ProcState st;
  st.state = rest[0];
  // Field 3 is the state; the start time is field 22, 19 fields further on.
  for (int field = 3; field < 22; ++field) {
    std::size_t space = rest.find(' ');
    if (space == std::string_view::npos) return std::nullopt;
    rest.remove_prefix(space + 1);
  }
  std::size_t end = 0;
  while (end < rest.size() && rest[end] >= '0' && rest[end] <= '9')
    ++end;
  if (end == 0 || end > 20) return std::nullopt;
  for (std::size_t i = 0; i < end; ++i)
    st.startTime = st.startTime * 10 + (rest[i] - '0');
  return st;
}

bool isDead(const std::optional<ProcState>& st) {
  return !st || st->state == 'Z' || st->state == 'X' || st->state == 'x';
}

OpenedExecutable outcome(OpenedExecutable::Result result, std::string message) {
  OpenedExecutable out;
  out.result = result;
  out.message = std::move(message);
  return out;
}

// Opens the process's directory and, through it, its executable. `startTime` receives the start
// time read before the executable was opened.
OpenedExecutable openThroughProc(pid_t pid, UniqueFd& dir, unsigned long long& startTime) {
  using R = OpenedExecutable::Result;
  if (pid <= 0) return outcome(R::Gone, kNoSuchProcess);
  const std::string path = "/proc/" + std::to_string(pid);
  dir = UniqueFd(open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!dir) {
    if (errno == ENOENT || errno == ESRCH) return outcome(R::Gone, kNoSuchProcess);
    return outcome(R::Error, std::string("cannot open the process: ") + std::strerror(errno));
  }
  auto before = readState(dir.get());
  if (!before) return outcome(R::Gone, kNoSuchProcess);
  if (isDead(before)) return outcome(R::Gone, kExited);
  startTime = before->startTime;

  UniqueFd exe(openat(dir.get(), "exe", O_RDONLY | O_CLOEXEC));
  if (!exe) {
    const int err = errno;
    if (err == EACCES || err == EPERM)
      return outcome(R::Error,
                     "not permitted to read the process's executable (this needs "
                     "CAP_SYS_PTRACE for another user's process)");
    auto now = readState(dir.get());
    if (err == ESRCH || isDead(now)) return outcome(R::Gone, now ? kExited : kNoSuchProcess);
    if (err == ENOENT) return outcome(R::NoCode, "the process runs no executable file");
    return outcome(R::Error,
                   std::string("cannot open the process's executable: ") + std::strerror(err));
  }
  OpenedExecutable out;
  out.result = R::Ok;
  out.fd = std::move(exe);
  return out;
}

// The process id a pidfd names: 0 when it cannot be read, -1 once the process was reaped.
long pidfdPid(int pidfd) {
  std::string text;
  UniqueFd fdinfo(open("/proc/self/fdinfo", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!fdinfo || !readAllAt(fdinfo.get(), std::to_string(pidfd).c_str(), text)) return 0;
  std::size_t at = text.find("\nPid:\t");
  if (at == std::string::npos) return 0;
  return std::strtol(text.c_str() + at + 6, nullptr, 10);
}

}  // namespace

OpenedExecutable openExecutableByHandle(pid_t pid, int pidfd) {
  using R = OpenedExecutable::Result;
  if (pidfd >= 0) {
    const long named = pidfdPid(pidfd);
    if (named == -1) return outcome(R::Gone, kNoSuchProcess);
    if (named != pid)
      return outcome(R::Gone, "the connection's process handle no longer names its process");
  }
  UniqueFd dir;
  unsigned long long start = 0;
  OpenedExecutable out = openThroughProc(pid, dir, start);
  if (out.result != R::Ok) return out;
  if (pidfd >= 0) {
    // While the pidfd's process lives its pid cannot be reused, so the executable opened above
    // was that process's.
    if (syscall(SYS_pidfd_send_signal, pidfd, 0, nullptr, 0) != 0 && errno == ESRCH)
      return outcome(R::Gone, kExited);
  }
  auto after = readState(dir.get());
  if (isDead(after)) return outcome(R::Gone, kExited);
  if (after->startTime != start) return outcome(R::Gone, "the process was replaced");
  return out;
}

}  // namespace helper
