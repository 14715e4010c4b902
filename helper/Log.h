// The helper's log: every line goes to standard error, prefixed "[PWMJBS]: ". When systemd
// started the helper, standard error is its stream into the journal, and each line carries the
// syslog priority prefix the journal reads (notice), so the entries keep their level without
// the helper loading a journal client library. Safe from any thread; lines never interleave.
#pragma once

#include <string_view>

namespace helper {

// Writes "[PWMJBS]: " + text as one line.
void log(std::string_view text);

// Writes `line` as it stands, for the few lines that carry no prefix.
void logLine(std::string_view line);

// True when JOURNAL_STREAM (the "device:inode" systemd sets for a service whose output goes to
// the journal) names the descriptor `fd`. A copy of the variable inherited by a process whose
// output was redirected elsewhere names another file and does not count.
bool isJournalStream(const char* journalStream, int fd);

}  // namespace helper
