// Who may run the installer and on whose behalf it installs.
//
// The tool is meant to run through pkexec, which authenticates an administrator and then runs
// it as root with whatever arguments the unprivileged caller chose. So under pkexec only the
// three program paths are accepted (and each program is verified before use): the options that
// would pick another root, another command to run as root or another owner for the socket are
// refused. Without pkexec the tool must run as root, except that a test may install into a
// scratch root (--root) as an ordinary user.
#pragma once

#include <sys/types.h>

#include <optional>
#include <string>

#include "tools/bless/Options.h"

namespace bless {

struct Invoker {
  uid_t euid = 0;
  std::optional<std::string> pkexecUid;  // PKEXEC_UID when set (even to an empty string)
};

// The reason to refuse this invocation, or nullopt when it may go on.
std::optional<std::string> refusal(const Options& options, const Invoker& invoker);

struct ApprovingUser {
  uid_t uid = 0;
  std::string name;
};

// The user the installed socket will belong to: the one pkexec names in PKEXEC_UID, or the
// --user option when not run through pkexec. The value must be a plain decimal user id (or,
// for --user, a user name) of a user that exists. nullopt with the reason in `error` otherwise.
std::optional<ApprovingUser> approvingUser(const Options& options, const Invoker& invoker,
                                           std::string& error);

}  // namespace bless
