// The one way Ferrolux puts a file on disk (logs, recovery copies, pictures): the bytes go to a
// temporary file in the destination's folder with unbuffered writes, each checked, including
// short ones; the temporary is synced before it takes the final name, the folder is synced after,
// and the file under its final name is read back and compared. Anything that fails is reported
// with its reason and leaves nothing half-written under the final name.
//
// Why not QSaveFile: it buffers small writes, so a full disk surfaces nowhere and commit() still
// returns true with an empty file in place.
//
// Only regular files are ever replaced: a FIFO, a device, a folder, or a link to one of them is
// refused and left as it is (as root, "replacing" /dev/null is otherwise one typo away).
//
// Thread-safe: no shared state.
#pragma once

#include <string>
#include <string_view>

namespace checkedfile {

// "" when `path` may be written: nothing is there yet, or a regular file (or a link to one) that
// a write replaces. Otherwise why not, naming the path: "<path> is a FIFO".
std::string checkTarget(const std::string& path);

// Writes `bytes` to `path`, replacing a regular file there (the link's target, for a link to
// one) in one step. "" on success, otherwise the reason; on failure `path` holds what it held.
std::string replaceFile(const std::string& path, std::string_view bytes);

// The outcome of writeNewFile().
struct NewFile {
  std::string path;     // the file written; empty on failure
  std::string failure;  // why nothing was written
};

// Writes `bytes` under `folder`/`stem` + `extension`, or, when that name is taken,
// `stem` + " 2" + `extension`, " 3", ...: an earlier file is never replaced, also not one that a
// second process creates in the same instant.
NewFile writeNewFile(const std::string& folder, const std::string& stem,
                     const std::string& extension, std::string_view bytes);

}  // namespace checkedfile
