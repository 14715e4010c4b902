// Opening the executable a peer process runs, through the process itself rather than by a path
// looked up again. The process's /proc directory is opened once and every later lookup goes
// through it; the kernel invalidates that directory when the process is reaped, so a recycled
// process id can never answer in its place.
#pragma once

#include <sys/types.h>

#include <string>

#include "shared/process/UniqueFd.h"

namespace helper {

using UniqueFd = proc::UniqueFd;

struct OpenedExecutable {
  enum class Result {
    Ok,
    Gone,    // the process has exited (or never existed)
    NoCode,  // the process is alive but runs no executable file (a kernel thread)
    Error,
  } result = Result::Error;
  UniqueFd fd;
  std::string message;  // why, when not Ok
};

// By a handle that cannot be recycled: the peer's pidfd when the kernel gave one (it must name
// `pid`, and the process must still be alive after the executable was opened); without one, the
// process's start time must be the same before and after the executable was opened.
OpenedExecutable openExecutableByHandle(pid_t pid, int pidfd);

}  // namespace helper
