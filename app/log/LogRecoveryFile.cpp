#include "app/log/LogRecoveryFile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <QDir>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "app/log/LogFileWriter.h"

namespace fs = std::filesystem;

namespace {

// Writes all of `data`, going on after short writes and interruptions. What did reach the file
// is taken off `data`, so a retry never writes a line's start twice.
bool writeAll(int fd, std::string& data) {
  size_t done = 0;
  bool ok = true;
  while (done < data.size()) {
    const ssize_t n = ::write(fd, data.data() + done, data.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      ok = false;
      break;
    }
    done += static_cast<size_t>(n);
  }
  data.erase(0, done);
  return ok;
}

// The whole file, or nothing when it cannot be read.
bool readAll(int fd, std::string& out) {
  char chunk[65536];
  for (;;) {
    const ssize_t n = ::read(fd, chunk, sizeof chunk);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0) return true;
    out.append(chunk, static_cast<size_t>(n));
  }
}

}  // namespace

std::string LogRecoveryFile::defaultFolder() {
  const char* state = std::getenv("XDG_STATE_HOME");
  const std::string base = state && *state == '/'
                               ? std::string(state)
                               : QDir::homePath().toStdString() + "/.local/state";
  return base + "/ferrolux/recording";
}

LogRecoveryFile::~LogRecoveryFile() {
  close();
}

bool LogRecoveryFile::open(const std::string& folder, const std::string& name) {
  close();
  std::error_code ec;
  fs::create_directories(folder, ec);
  path_ = (fs::path(folder) / (name + ".csv")).string();
  // Locked before it is emptied: a file of the same name that a recording of this or another
  // process still holds is left alone, and this recording goes without a safety copy.
  fd_ = ::open(path_.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
  if (fd_ < 0) return false;
  if (::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
    ::close(fd_);
    fd_ = -1;
    return false;
  }
  std::string header = std::string(logfile::kHeader) + '\n';
  if (::ftruncate(fd_, 0) != 0 || !writeAll(fd_, header)) {
    discard();
    return false;
  }
  return true;
}

void LogRecoveryFile::append(const LogFileData& row) {
  if (fd_ < 0) return;
  buffer_ += row.line();
  buffer_ += '\n';
}

bool LogRecoveryFile::flush() {
  if (fd_ < 0 || buffer_.empty()) return true;
  if (!writeAll(fd_, buffer_)) return false;
  // On the disk, not just in the page cache: the copy is for when the machine goes down too.
  return ::fdatasync(fd_) == 0;
}

void LogRecoveryFile::close() {
  if (fd_ < 0) return;
  flush();
  ::close(fd_);
  fd_ = -1;
  buffer_.clear();
}

void LogRecoveryFile::discard() {
  if (fd_ < 0) return;
  // Unlink while still holding the lock, so no other instance can take it for a leftover.
  ::unlink(path_.c_str());
  ::close(fd_);
  fd_ = -1;
  buffer_.clear();
}

std::vector<LogRecoveryFile::Recovered> LogRecoveryFile::recoverLeftovers(
    const std::string& folder, const std::vector<std::string>& destinations) {
  std::vector<Recovered> out;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(folder, ec)) {
    const fs::path& p = entry.path();
    if (p.extension() != ".csv" || !entry.is_regular_file(ec)) continue;
    const int fd = ::open(p.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) continue;
    // A lock held means a living recorder owns it.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
      ::close(fd);
      continue;
    }
    std::string text;
    const bool read = readAll(fd, text);
    if (read) {
      // A kill can cut the last write short: keep whole lines only.
      const size_t end = text.rfind('\n');
      text.resize(end == std::string::npos ? 0 : end + 1);
      const std::string header = std::string(logfile::kHeader) + '\n';
      if (text.size() <= header.size() || text.compare(0, header.size(), header) != 0) {
        ::unlink(p.c_str());  // nothing recorded, or not ours to keep
      } else {
        const logfile::SaveResult saved =
            logfile::save(destinations, p.stem().string() + " (recovered)", text);
        if (saved.saved()) ::unlink(p.c_str());
        out.push_back({saved.path, saved.failure});
      }
    }
    ::close(fd);
  }
  return out;
}
