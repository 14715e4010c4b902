// A test server on a temporary Unix socket that starts a peer program, accepts its connection
// and records what the kernel says about the peer, as the helper's listener does.
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "helper/Admission.h"
#include "tests/unit/core/ScratchDir.h"

namespace codesign::peertest {

// A connected peer process; closing it hangs up and reaps the process.
class Connection {
 public:
  Connection(pid_t child, int conn, helper::PeerInfo info)
      : child_(child), conn_(conn), info_(info) {}
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;
  ~Connection();
  const helper::PeerInfo& info() const { return info_; }
  // Waits until the peer has exited; `reap` false leaves it a zombie.
  void waitForExit(bool reap);

 private:
  pid_t child_;
  int conn_;
  helper::PeerInfo info_;
  bool reaped_ = false;
};

class PeerServer {
 public:
  PeerServer();
  ~PeerServer();
  const std::filesystem::path& dir() const { return scratch_.path; }
  // Starts `program` ("stay" or "leave") and accepts its connection; null on failure.
  std::unique_ptr<Connection> connect(const std::string& program, const char* mode);

 private:
  fxtest::ScratchDir scratch_{"fx-peer"};
  std::string socketPath_;
  int listenFd_ = -1;
};

using Bytes = std::vector<unsigned char>;
Bytes readFile(const std::filesystem::path& path);
// Writes an executable file (mode 0755) and closes it before anyone runs it.
void writeExecutable(const std::filesystem::path& path, const Bytes& bytes);

}  // namespace codesign::peertest
