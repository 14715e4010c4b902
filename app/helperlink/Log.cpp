#include "app/helperlink/Log.h"

#include <atomic>
#include <cstdio>
#include <string>

namespace helperlink {
namespace {

void writeLine(std::FILE* stream, std::string_view line) {
  std::string text(line);
  text += '\n';
  // One call per line keeps lines from different threads from interleaving.
  std::fwrite(text.data(), 1, text.size(), stream);
  std::fflush(stream);
}

}  // namespace

void logLine(std::string_view line) {
  writeLine(stderr, line);
}

namespace {
std::atomic<bool> toStandardError{false};
}  // namespace

void printLine(std::string_view line) {
  writeLine(toStandardError ? stderr : stdout, line);
}

void debugLinesToStandardError() {
  toStandardError = true;
}

}  // namespace helperlink
