// `ferrolux serve`: the root model without a window, its values exported in the Prometheus text
// format at http://ADDRESS:PORT/metrics for a Prometheus server to scrape.
//
// It listens before it contacts the helper, so a taken port or a bad address is reported at
// once; then it runs the helper's start-up check and exits with the check's verdict when the
// helper cannot be used. Once sampling runs it keeps serving until SIGINT, SIGTERM or SIGHUP,
// through lost helpers (ferrolux_helper_up says so, and the check is repeated until the helper
// answers again).
//
// Exit status: 0 after a stop signal; 64 for an address that does not parse; 71 when the
// address cannot be listened on; the start-up check's status otherwise (see
// headless::exitCode).
#pragma once

#include <optional>
#include <string>

namespace platform {
class Platform;
}

namespace fxexport {

// `listen` is the --listen value, when given. `argc`/`argv` go to the application object. Call
// after the platform has been chosen.
int runServe(const std::optional<std::string>& listen, platform::Platform& machine, int& argc,
             char** argv);

}  // namespace fxexport
