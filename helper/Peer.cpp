#include "helper/Peer.h"

#include <sys/socket.h>

#include "helper/Log.h"

namespace helper {

bool Peer::send(const std::string& frame) {
  if (!open_) return false;
  bool over = false;
  {
    std::lock_guard lock(budgetMutex_);
    over = waitingFrames_ + 1 > budget_.frames || waitingBytes_ + frame.size() > budget_.bytes;
    if (!over) {
      ++waitingFrames_;
      waitingBytes_ += frame.size();
    }
  }
  if (over) {
    log("closing the connection of pid " + std::to_string(pid_) +
        ": it does not read what it asked for (" + std::to_string(budget_.frames) + " frames or " +
        std::to_string(budget_.bytes >> 20) + " MiB waiting)");
    close();
    return false;
  }
  bool written = false;
  {
    std::lock_guard lock(writeMutex_);
    written = open_ && xpc::writeAll(fd_.get(), frame);
  }
  {
    std::lock_guard lock(budgetMutex_);
    --waitingFrames_;
    waitingBytes_ -= frame.size();
  }
  if (!written) close();
  return written;
}

void Peer::close() {
  if (open_.exchange(false)) ::shutdown(fd_.get(), SHUT_RDWR);
}

}  // namespace helper
