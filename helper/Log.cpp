#include "helper/Log.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>

namespace helper {
namespace {

// The journal's stream reader takes a leading "<N>" as the line's syslog priority.
constexpr std::string_view kNoticePriority = "<5>";

bool toJournal() {
  static const bool value = isJournalStream(std::getenv("JOURNAL_STREAM"), STDERR_FILENO);
  return value;
}

}  // namespace

bool isJournalStream(const char* journalStream, int fd) {
  if (!journalStream) return false;
  unsigned long long dev = 0, ino = 0;
  int used = 0;
  if (std::sscanf(journalStream, "%llu:%llu%n", &dev, &ino, &used) != 2 ||
      journalStream[used] != '\0')
    return false;
  struct stat st;
  return ::fstat(fd, &st) == 0 && st.st_dev == dev && st.st_ino == ino;
}

void log(std::string_view text) {
  std::string line = "[PWMJBS]: ";
  line.append(text);
  logLine(line);
}

void logLine(std::string_view text) {
  std::string line;
  if (toJournal()) line = kNoticePriority;
  line.append(text);
  line.push_back('\n');
  static std::mutex mutex;
  std::lock_guard lock(mutex);
  [[maybe_unused]] auto n = ::write(STDERR_FILENO, line.data(), line.size());
}

}  // namespace helper
