// Writing the installed files under a root directory without following anything planted there.
//
// Every directory on the way from the root to a target is opened one component at a time
// without following symbolic links, and must belong to root (or to the user running the tool,
// for scratch installs by tests) and be writable by nobody else: otherwise someone else could
// replace what we install. Files are written beside their place under a temporary name and
// renamed over it, so the service manager never sees half a file.
#pragma once

#include <sys/types.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tools/bless/SealedCopy.h"

namespace bless {

struct TargetFile {
  std::string path;  // as installed, absolute, e.g. "/etc/systemd/system/x.socket"
  mode_t mode = 0644;
  const SealedCopy* program = nullptr;  // the contents: this copy's bytes,
  std::string text;                     // or, without one, this text
};

class TargetTree {
 public:
  // Opens `root` and checks every existing directory on the way to each target, and each
  // target's current entry (absent, or a regular file to be replaced). Changes nothing.
  // nullopt with the reason in `error` when anything is unsafe.
  static std::optional<TargetTree> check(const std::string& root, std::vector<TargetFile> files,
                                         std::string& error);

  // Creates the missing directories (mode 0755), writes every file under a temporary name,
  // then renames them all into place. A failure before the renames removes everything it
  // added; the reason is in `error`.
  bool install(std::string& error);

  TargetTree(TargetTree&&) noexcept;
  TargetTree& operator=(TargetTree&&) noexcept;
  ~TargetTree();

 private:
  struct State;
  explicit TargetTree(std::unique_ptr<State> state);
  std::unique_ptr<State> state_;
};

}  // namespace bless
