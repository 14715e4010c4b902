#include "helper/Log.h"

#include <systemd/sd-journal.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>

namespace helper {
namespace {

bool alsoStderr() {
  static const bool value = [] {
    const char* flag = std::getenv("FERROLUX_LOG_STDERR");
    if (flag && std::strcmp(flag, "1") == 0) return true;
    // systemd sets INVOCATION_ID for every service it starts.
    return std::getenv("INVOCATION_ID") == nullptr;
  }();
  return value;
}

}  // namespace

void log(std::string_view text) {
  std::string line = "[PWMJBS]: ";
  line.append(text);
  logLine(line);
}

void logLine(std::string_view text) {
  std::string line(text);
  sd_journal_print(LOG_NOTICE, "%s", line.c_str());
  if (alsoStderr()) {
    static std::mutex mutex;
    std::lock_guard lock(mutex);
    line.push_back('\n');
    [[maybe_unused]] auto n = ::write(STDERR_FILENO, line.data(), line.size());
  }
}

}  // namespace helper
