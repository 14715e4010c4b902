// The whole installation, in the order that lets every refusal leave the system untouched:
// who asks, then private copies of the three programs, then their signatures, then the units,
// then the target directories; only after all of that are files written and the service
// manager told.
//
// Installed, under the root ("/" normally):
//   /usr/local/libexec/ferrolux-helpers/com.tarquell.powermetrics   the helper, mode 0755
//   /usr/local/libexec/ferrolux-helpers/powermetrics                the sampler, mode 0755
//   /etc/systemd/system/com.tarquell.powermetrics.socket            mode 0644, SocketUser=<uid>
//   /etc/systemd/system/com.tarquell.powermetrics.service           mode 0644
#pragma once

#include <string>

#include "shared/codesign/Certificate.h"
#include "tools/bless/Options.h"
#include "tools/bless/Policy.h"

namespace bless {

struct Outcome {
  int status = kFailed;  // an ExitStatus
  std::string message;   // one line for standard error (or the success line)
};

Outcome install(const Options& options, const Invoker& invoker, const codesign::Anchor& anchor);

}  // namespace bless
