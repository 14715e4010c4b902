#include "shared/process/Process.h"

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <utility>

#include "shared/process/UniqueFd.h"

namespace proc {
namespace {

using Clock = std::chrono::steady_clock;

bool makePipe(UniqueFd& readEnd, UniqueFd& writeEnd) {
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) return false;
  readEnd.reset(fds[0]);
  writeEnd.reset(fds[1]);
  return true;
}

// Marks every descriptor from 3 up close-on-exec, so only the standard streams survive the
// exec while the exec-error pipe still works until then. Runs in the vfork child: only
// async-signal-safe calls, no writes to memory it shares with the parent but its own stack.
void markInheritedCloseOnExec() {
#ifdef CLOSE_RANGE_CLOEXEC
  if (::close_range(3, ~0U, CLOSE_RANGE_CLOEXEC) == 0) return;
#endif
  rlimit rl;
  const long max = (::getrlimit(RLIMIT_NOFILE, &rl) == 0 && rl.rlim_cur != RLIM_INFINITY)
                       ? static_cast<long>(std::min<rlim_t>(rl.rlim_cur, 1 << 20))
                       : 65536;
  for (int fd = 3; fd < max; ++fd) {
    const int flags = ::fcntl(fd, F_GETFD);
    if (flags >= 0) ::fcntl(fd, F_SETFD, flags | FD_CLOEXEC);
  }
}

[[noreturn]] void childExec(pid_t parent, const Spec& spec, char* const* argv, char* const* envp,
                            int devNull, int outWrite, int errWrite, int execErrWrite) {
  ::setpgid(0, 0);
  // The child must not outlive the thread that supervises it.
  ::prctl(PR_SET_PDEATHSIG, SIGKILL);
  if (::getppid() != parent) ::_exit(127);
  sigset_t none;
  sigemptyset(&none);
  struct sigaction dfl {};
  dfl.sa_handler = SIG_DFL;
  for (int sig = 1; sig < NSIG; ++sig)
    ::sigaction(sig, &dfl, nullptr);
  ::sigprocmask(SIG_SETMASK, &none, nullptr);
  if (::dup2(devNull, 0) < 0 || ::dup2(outWrite, 1) < 0 || ::dup2(errWrite, 2) < 0) {
    const int e = errno;
    [[maybe_unused]] auto n = ::write(execErrWrite, &e, sizeof e);
    ::_exit(127);
  }
  markInheritedCloseOnExec();
  if (::chdir(spec.workingDirectory.c_str()) != 0) {
    const int e = errno;
    [[maybe_unused]] auto n = ::write(execErrWrite, &e, sizeof e);
    ::_exit(127);
  }
  ::execve(spec.path.c_str(), argv, envp);
  const int e = errno;
  [[maybe_unused]] auto n = ::write(execErrWrite, &e, sizeof e);
  ::_exit(127);
}

int openPidfd(pid_t pid) {
#ifdef SYS_pidfd_open
  return static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
#else
  (void)pid;
  return -1;
#endif
}

// Reads what is available into `out`, keeping at most `cap` bytes. Returns false at end of
// file or on error; sets `over` when bytes beyond the cap arrived.
bool drain(int fd, std::string& out, size_t cap, bool& over) {
  char buf[65536];
  const ssize_t n = ::read(fd, buf, sizeof buf);
  if (n < 0) return errno == EINTR || errno == EAGAIN;
  if (n == 0) return false;
  const size_t room = cap - std::min(cap, out.size());
  out.append(buf, std::min(room, static_cast<size_t>(n)));
  if (static_cast<size_t>(n) > room) over = true;
  return true;
}

}  // namespace

Result run(const Spec& spec) {
  Result r;
  std::vector<char*> argv{const_cast<char*>(spec.path.c_str())};
  for (const auto& a : spec.args)
    argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  std::vector<char*> envp;
  for (const auto& e : spec.env)
    envp.push_back(const_cast<char*>(e.c_str()));
  envp.push_back(nullptr);

  UniqueFd devNull(::open("/dev/null", O_RDWR | O_CLOEXEC));
  UniqueFd outRead, outWrite, errRead, errWrite, execRead, execWrite;
  if (!devNull.valid() || !makePipe(outRead, outWrite) || !makePipe(execRead, execWrite) ||
      (spec.captureStderr && !makePipe(errRead, errWrite))) {
    r.launchErrno = errno;
    return r;
  }

  // vfork instead of fork: the helper is threaded and runs this once a second, and copying its
  // page tables only to exec at once costs more than the run it starts. The child borrows this
  // thread's memory until its exec, so every signal stays blocked until it has put the default
  // handlers back: none of the parent's handlers may run on the borrowed memory.
  sigset_t all, saved;
  sigfillset(&all);
  ::pthread_sigmask(SIG_SETMASK, &all, &saved);
  const pid_t parent = ::getpid();
  const pid_t pid = ::vfork();
  if (pid == 0)
    childExec(parent, spec, argv.data(), envp.data(), devNull.get(), outWrite.get(),
              spec.captureStderr ? errWrite.get() : devNull.get(), execWrite.get());
  const int forkErrno = errno;
  ::pthread_sigmask(SIG_SETMASK, &saved, nullptr);
  if (pid < 0) {
    r.launchErrno = forkErrno;
    return r;
  }

  ::setpgid(pid, pid);  // also done by the child; whichever runs first wins the race
  outWrite.reset();
  errWrite.reset();
  execWrite.reset();

  int childErrno = 0;
  ssize_t got;
  do {
    got = ::read(execRead.get(), &childErrno, sizeof childErrno);
  } while (got < 0 && errno == EINTR);
  if (got > 0) {
    int status;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    r.launchErrno = childErrno;
    return r;
  }
  r.launched = true;
  if (spec.onLaunched) spec.onLaunched();

  UniqueFd pidfd(openPidfd(pid));
  const auto deadline = Clock::now() + spec.timeLimit;
  bool outOpen = true, errOpen = spec.captureStderr, exited = false;
  while (outOpen || errOpen || !exited) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) {
      r.timedOut = true;
      break;
    }
    pollfd fds[3];
    nfds_t n = 0;
    int outIx = -1, errIx = -1, pidIx = -1;
    if (outOpen) fds[outIx = static_cast<int>(n++)] = {outRead.get(), POLLIN, 0};
    if (errOpen) fds[errIx = static_cast<int>(n++)] = {errRead.get(), POLLIN, 0};
    if (!exited && pidfd.valid()) fds[pidIx = static_cast<int>(n++)] = {pidfd.get(), POLLIN, 0};
    // Without a pidfd the child's end is noticed by polling waitid now and then.
    const long wait = (!exited && !pidfd.valid()) ? std::min<long>(left, 20) : left;
    const int ready = ::poll(fds, n, static_cast<int>(std::min<long>(wait, 1 << 30)));
    if (ready < 0 && errno != EINTR) break;
    if (outIx >= 0 && fds[outIx].revents) {
      outOpen = drain(outRead.get(), r.output, spec.outputCap, r.truncated);
      if (r.truncated) break;
    }
    if (errIx >= 0 && fds[errIx].revents) {
      bool ignored = false;
      errOpen = drain(errRead.get(), r.errorOutput, spec.stderrCap, ignored);
    }
    if (!exited && (pidIx < 0 || fds[pidIx].revents)) {
      siginfo_t info{};
      if (::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
          info.si_pid == pid) {
        exited = true;
        // Still a zombie, so the group id cannot have been reused: clear out strays that
        // would otherwise hold the pipe open.
        ::kill(-pid, SIGKILL);
      }
    }
  }
  if (!exited) ::kill(-pid, SIGKILL);

  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  if (WIFEXITED(status)) {
    r.exited = true;
    r.exitStatus = WEXITSTATUS(status);
  } else if (WIFSIGNALED(status)) {
    r.termSignal = WTERMSIG(status);
  }
  return r;
}

}  // namespace proc
