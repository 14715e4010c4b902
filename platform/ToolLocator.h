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

// Whether `program` lies inside the build tree this code was built in. Paths into the build
// tree count only then: an installed program never uses (or hands to an administrator's
// approval) files that a build tree of the same name happens to hold.
bool isInBuildTree(const std::optional<std::string>& program);
// isInBuildTree for the running program.
bool runsFromBuildTree();

// The stand-in tool NAME ("powermetrics", "system_profiler"); an absolute path, which may not
// exist when nothing was installed.
std::string locateTool(std::string_view name);

// The tool paths of both back ends: nice, the two stand-ins, systemctl for launchctl.
ToolPaths standInToolPaths();

}  // namespace platform
