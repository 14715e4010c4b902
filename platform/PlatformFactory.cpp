// Choosing the platform once at start, and the process-wide accessor for it.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <system_error>

#include "platform/Platform.h"
#include "platform/ToolLocator.h"
#include "platform/linux/LinuxPlatform.h"
#include "platform/sim/SimPlatform.h"

namespace platform {
namespace {

namespace fs = std::filesystem;

std::mutex gMutex;
std::unique_ptr<Platform> gCurrent;

bool isFile(const fs::path& p) {
  std::error_code ec;
  return fs::is_regular_file(p, ec);
}

std::vector<fs::path> profileFolders() {
  std::vector<fs::path> folders;
  if (const char* dir = std::getenv("FERROLUX_PROFILES_DIR"); dir && *dir) folders.push_back(dir);
  if (auto exe = executablePath()) {
    // An install keeps programs in bin/ or libexec/ferrolux/ and profiles in share/ferrolux.
    const fs::path dir = fs::path(*exe).parent_path();
    folders.push_back(dir.parent_path() / "share/ferrolux/profiles");
    folders.push_back(dir.parent_path().parent_path() / "share/ferrolux/profiles");
  }
#ifdef FERROLUX_BUILD_TREE
  if (runsFromBuildTree()) folders.push_back(fs::path(FERROLUX_BUILD_TREE) / "data/profiles");
#endif
  folders.push_back(fs::path(FERROLUX_DATADIR) / "profiles");
  return folders;
}

}  // namespace

std::optional<std::string> findProfile(std::string_view name) {
  if (name.empty()) return std::nullopt;
  const bool isPath = name.find('/') != std::string_view::npos ||
                      (name.size() > 6 && name.substr(name.size() - 6) == ".plist");
  if (isPath) {
    if (!isFile(fs::path(name))) return std::nullopt;
    std::error_code ec;
    auto absolute = fs::absolute(fs::path(name), ec);
    return ec ? std::string(name) : absolute.lexically_normal().string();
  }
  for (const auto& folder : profileFolders()) {
    fs::path candidate = folder / (std::string(name) + ".plist");
    if (isFile(candidate)) return candidate.lexically_normal().string();
  }
  return std::nullopt;
}

namespace {

// FERROLUX_SYSFS_ROOT points the Linux back end at a captured tree (then NVML, which knows
// nothing of such trees, stays out) and FERROLUX_MACHINE stands in for uname's machine string.
LinuxOptions linuxOptionsFromEnvironment() {
  LinuxOptions options;
  if (const char* root = std::getenv("FERROLUX_SYSFS_ROOT"); root && *root) {
    options.root = root;
    options.useNvml = false;
  }
  if (const char* machine = std::getenv("FERROLUX_MACHINE"); machine && *machine) {
    options.machine = machine;
  }
  return options;
}

}  // namespace

CreateResult create(std::string_view spec) {
  if (spec == "linux") return {std::make_unique<LinuxPlatform>(linuxOptionsFromEnvironment()), {}};
  if (spec.substr(0, 4) == "sim:") {
    const std::string_view name = spec.substr(4);
    if (name.empty()) return {nullptr, "platform \"sim:\" needs a profile name"};
    auto path = findProfile(name);
    if (!path) return {nullptr, "no sim profile \"" + std::string(name) + "\" found"};
    sim::ProfileResult loaded = sim::loadProfile(*path);
    if (!loaded.profile) return {nullptr, loaded.error};
    return {std::make_unique<sim::SimPlatform>(std::move(*loaded.profile), std::string(name),
                                               std::make_unique<LinuxProcessorLoad>()),
            {}};
  }
  return {nullptr, "unknown platform \"" + std::string(spec) + "\" (use linux or sim:PROFILE)"};
}

std::string specFromEnvironment() {
  const char* spec = std::getenv("FERROLUX_PLATFORM");
  return spec && *spec ? spec : "linux";
}

bool setCurrent(std::unique_ptr<Platform> platform) {
  std::lock_guard lock(gMutex);
  if (gCurrent || !platform) return false;
  gCurrent = std::move(platform);
  return true;
}

Platform& current() {
  std::lock_guard lock(gMutex);
  if (!gCurrent) {
    CreateResult r = create(specFromEnvironment());
    if (!r.platform) {
      std::fprintf(stderr, "ferrolux: %s; using linux\n", r.error.c_str());
      r.platform = std::make_unique<LinuxPlatform>();
    }
    gCurrent = std::move(r.platform);
  }
  return *gCurrent;
}

}  // namespace platform
