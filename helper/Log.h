// The helper's log: every line goes to the system journal, prefixed "[PWMJBS]: ".
#pragma once

#include <string_view>

namespace helper {

// Writes "[PWMJBS]: " + text to the journal, and also to standard error when
// FERROLUX_LOG_STDERR=1 or when the helper does not run under systemd (so a developer or a
// test that started it by hand can read the lines). Safe from any thread; lines never interleave.
void log(std::string_view text);

// Writes `line` as it stands, for the few lines that carry no prefix.
void logLine(std::string_view line);

}  // namespace helper
