// Writing a finished recording to disk through the checked write path (every write checked,
// synced, read back), into the first folder that takes it, so a folder that is gone, read-only
// or full never loses the rows and never makes the caller report a file that does not exist. A
// name that is taken gets " 2", " 3", ...: an earlier recording is never replaced.
//
// Thread-safe: no shared state; the desktop lookup reads the environment afresh.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace logfile {

// The outcome of save(): where the file went, or why no folder took it.
struct SaveResult {
  std::string path;     // empty when nothing was written
  std::string failure;  // one "folder: reason" per folder that failed, joined by "; "
  bool saved() const { return !path.empty(); }
};

// Writes `text` as `name` + ".csv" (or `name` + " 2.csv", ... when taken) into the first of
// `folders` that takes it.
SaveResult save(const std::vector<std::string>& folders, const std::string& name,
                std::string_view text);

// The user's desktop folder when it exists, otherwise the home folder.
std::string desktopOrHome();

// Where a log file goes, in the order tried: the chosen folder when there is one, then the
// desktop folder when it exists, then home; each once.
std::vector<std::string> folders(const std::optional<std::string>& chosen);

}  // namespace logfile
