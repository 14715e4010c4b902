// The application's log lines about the helper, and the few debugging lines on standard output.
#pragma once

#include <string_view>

namespace helperlink {

// One line to the application's log (standard error), written whole.
void logLine(std::string_view line);
// One line to standard output, flushed at once so a watching process sees it in order; to
// standard error instead once debugLinesToStandardError() has been called.
void printLine(std::string_view line);
// For the commands without a window, whose standard output is their own result.
void debugLinesToStandardError();

}  // namespace helperlink
