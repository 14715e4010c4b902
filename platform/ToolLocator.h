// Where the stand-in tools live. An installed Ferrolux finds them in its libexec folder; a
// program running from the build tree uses the tools built beside it; FERROLUX_TOOLS_DIR
// overrides both (a folder holding NAME or NAME/NAME).
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/Platform.h"

namespace platform {

// The running program's own path, from /proc/self/exe.
std::optional<std::string> executablePath();

// The stand-in tool NAME ("powermetrics", "system_profiler"); an absolute path, which may not
// exist when nothing was installed.
std::string locateTool(std::string_view name);

// The tool paths of both back ends: nice, the two stand-ins, systemctl for launchctl.
ToolPaths standInToolPaths();

}  // namespace platform
