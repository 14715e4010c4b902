#include "platform/ToolLocator.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace platform {
namespace {

namespace fs = std::filesystem;

bool isExecutableFile(const fs::path& p) {
  std::error_code ec;
  auto st = fs::status(p, ec);
  return !ec && fs::is_regular_file(st) &&
         (st.permissions() & (fs::perms::owner_exec | fs::perms::group_exec |
                              fs::perms::others_exec)) != fs::perms::none;
}

std::optional<fs::path> inToolsDir(const fs::path& dir, std::string_view name) {
  for (const fs::path& candidate : {dir / name / name, dir / name}) {
    if (isExecutableFile(candidate)) return candidate;
  }
  return std::nullopt;
}

bool isInside(const fs::path& child, const fs::path& parent) {
  auto c = child.lexically_normal().string();
  auto p = parent.lexically_normal().string();
  if (!p.empty() && p.back() != '/') p += '/';
  return c.rfind(p, 0) == 0;
}

}  // namespace

std::optional<std::string> executablePath() {
  std::error_code ec;
  auto p = fs::read_symlink("/proc/self/exe", ec);
  if (ec) return std::nullopt;
  return p.string();
}

bool isInBuildTree(const std::optional<std::string>& program) {
#ifdef FERROLUX_BUILD_TREE
  return program && !program->empty() && isInside(*program, FERROLUX_BUILD_TREE);
#else
  (void)program;
  return false;
#endif
}

bool runsFromBuildTree() {
  return isInBuildTree(executablePath());
}

std::string locateTool(std::string_view name) {
  if (const char* dir = std::getenv("FERROLUX_TOOLS_DIR"); dir && *dir) {
    if (auto p = inToolsDir(dir, name)) return p->string();
  }
#ifdef FERROLUX_BUILD_TREE
  // Programs and tests run from the build tree use the tools built there.
  if (runsFromBuildTree()) {
    if (auto p = inToolsDir(fs::path(FERROLUX_BUILD_TREE) / "tools", name)) return p->string();
  }
#endif
  return (fs::path(FERROLUX_LIBEXECDIR) / name).string();
}

ToolPaths standInToolPaths() {
  ToolPaths paths;
  paths.nice = "/usr/bin/nice";
  paths.powermetrics = locateTool("powermetrics");
  paths.systemProfiler = locateTool("system_profiler");
  paths.launchctl =
      isExecutableFile("/usr/bin/systemctl") ? "/usr/bin/systemctl" : "/bin/systemctl";
  return paths;
}

}  // namespace platform
