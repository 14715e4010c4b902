// The installer's command line.
//
//   ferrolux-bless install --helper PATH --sampler PATH --client PATH
//                          [--user NAME|UID] [--root DIR --service-manager PATH]
//
// --helper is the application's helper copy, --sampler the sampler to install beside it, and
// --client the application executable the helper will admit. --user, --root and
// --service-manager exist for tests and for an administrator running the tool by hand; through
// pkexec they are refused (see Policy.h).
#pragma once

#include <optional>
#include <string>

namespace bless {

// Exit statuses of ferrolux-bless.
enum ExitStatus : int {
  kInstalled = 0,
  kUsage = 1,    // the command line is malformed; nothing was looked at
  kRefused = 2,  // a check failed; nothing was changed
  kFailed = 3,   // the installation itself failed part way; the message says where
};

struct Options {
  std::string command;  // "install"
  std::string helper;   // absolute paths of the three programs
  std::string sampler;
  std::string client;
  std::string user;            // --user: the approving user when not run through pkexec
  std::string root;            // --root: install under this directory instead of "/"
  std::string serviceManager;  // --service-manager: run in place of systemctl
};

// nullopt (with the reason in `error`) for an unknown command or option, an option given twice
// or without its value, a missing required option, or a path that is not absolute. --root
// without --service-manager is refused too: the real service manager would start units that
// are not where it looks for them.
std::optional<Options> parseOptions(int argc, const char* const* argv, std::string& error);

}  // namespace bless
