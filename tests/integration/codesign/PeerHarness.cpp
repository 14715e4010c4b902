#include "PeerHarness.h"

#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <stdexcept>

#ifndef SO_PEERPIDFD
#define SO_PEERPIDFD 77  // Linux 6.5; older C library headers lack the name
#endif

extern char** environ;

namespace codesign::peertest {

Connection::~Connection() {
  if (conn_ >= 0) close(conn_);
  if (info_.pidfd >= 0) close(info_.pidfd);
  if (!reaped_) {
    kill(child_, SIGKILL);
    waitpid(child_, nullptr, 0);
  }
}

void Connection::waitForExit(bool reap) {
  siginfo_t si{};
  waitid(P_PID, static_cast<id_t>(child_), &si, WEXITED | (reap ? 0 : WNOWAIT));
  reaped_ = reap;
}

PeerServer::PeerServer() {
  if (scratch_.path.empty()) throw std::runtime_error("no scratch directory");
  socketPath_ = (scratch_.path / "s").string();
  listenFd_ = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  std::strcpy(addr.sun_path, socketPath_.c_str());
  if (listenFd_ < 0 || bind(listenFd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
      listen(listenFd_, 8) != 0)
    throw std::runtime_error("cannot listen on " + socketPath_);
}

PeerServer::~PeerServer() {
  if (listenFd_ >= 0) close(listenFd_);
}

std::unique_ptr<Connection> PeerServer::connect(const std::string& program, const char* mode) {
  pid_t child = -1;
  char* argv[] = {const_cast<char*>(program.c_str()), const_cast<char*>(socketPath_.c_str()),
                  const_cast<char*>(mode), nullptr};
  if (posix_spawn(&child, program.c_str(), nullptr, nullptr, argv, environ) != 0) return nullptr;
  pollfd p{listenFd_, POLLIN, 0};
  int conn = -1;
  if (poll(&p, 1, 10000) == 1) conn = accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
  helper::PeerInfo info;
  ucred cred{};
  socklen_t len = sizeof cred;
  if (conn < 0 || getsockopt(conn, SOL_SOCKET, SO_PEERCRED, &cred, &len) != 0) {
    if (conn >= 0) close(conn);
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    return nullptr;
  }
  info.pid = cred.pid;
  info.uid = cred.uid;
  info.gid = cred.gid;
  info.socketFd = conn;
  int pidfd = -1;
  len = sizeof pidfd;
  if (getsockopt(conn, SOL_SOCKET, SO_PEERPIDFD, &pidfd, &len) == 0) info.pidfd = pidfd;
  return std::make_unique<Connection>(child, conn, info);
}

Bytes readFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path.string());
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void writeExecutable(const std::filesystem::path& path, const Bytes& bytes) {
  {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<long>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + path.string());
  }
  chmod(path.c_str(), 0755);
}

}  // namespace codesign::peertest
