#include "tools/powermetrics/SimProfile.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>

namespace sampler {

namespace {

constexpr size_t kMaxProfileBytes = 4 * 1024 * 1024;

std::optional<PowerRange> rangeOf(const plist::Value& v) {
  if (!v.isArray() || v.size() != 2) return std::nullopt;
  auto lo = v[size_t{0}].number();
  auto hi = v[size_t{1}].number();
  if (!lo || !hi || *lo < 0 || *hi < *lo) return std::nullopt;
  return PowerRange{*lo, *hi};
}

}  // namespace

std::optional<int> majorVersion(const std::string& version) {
  int major = 0;
  auto [end, ec] = std::from_chars(version.data(), version.data() + version.size(), major);
  if (ec != std::errc() || end == version.data()) return std::nullopt;
  return major;
}

SimProfile simProfileFrom(const plist::Value& profile) {
  SimProfile p;
  if (const auto* model = profile["sysctl"]["hw.model"].string()) {
    p.hwModel = *model;
  } else if (const auto* name = profile["name"].string()) {
    p.hwModel = *name;
  }
  if (const auto* os = profile["osVersion"].string()) {
    if (auto major = majorVersion(*os)) p.combinedPower = *major >= 13;
  }
  const plist::Value& s = profile["sampler"];
  if (const auto* clusters = s["clusters"].array()) {
    for (const auto& c : *clusters) {
      const auto* name = c["name"].string();
      if (!name) continue;
      SimCluster sc;
      sc.name = *name;
      if (const auto* cpus = c["cpus"].array()) {
        for (const auto& cpu : *cpus) {
          if (auto n = cpu.integer(); n && *n >= 0 && *n < 65536) sc.cpus.push_back(int(*n));
        }
      }
      sc.minHz = c["minHz"].number().value_or(0);
      sc.maxHz = c["maxHz"].number().value_or(sc.minHz);
      if (sc.maxHz < sc.minHz) sc.maxHz = sc.minHz;
      p.clusters.push_back(std::move(sc));
    }
  }
  p.cpuPowerW = rangeOf(s["cpuPowerW"]);
  p.gpuPowerW = rangeOf(s["gpuPowerW"]);
  p.anePowerW = rangeOf(s["anePowerW"]);
  p.dramPowerW = rangeOf(s["dramPowerW"]);
  p.gpuMinMHz = s["gpuMinMHz"].number();
  p.gpuMaxMHz = s["gpuMaxMHz"].number();
  return p;
}

std::optional<SimProfile> loadSimProfile(const std::string& path, std::string& error) {
  // Plain reads rather than a file stream: a stream initialises the C++ locale, which costs
  // more than reading the profile on a run that happens once a second.
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    error = "cannot open sim profile " + path;
    return std::nullopt;
  }
  // Read in pieces up to the cap: a profile is a few kilobytes, so a buffer the size of the cap
  // would cost more than the whole sample.
  std::string bytes;
  char piece[16384];
  for (;;) {
    const ssize_t n = ::read(fd, piece, sizeof piece);
    if (n == 0) break;
    if (n < 0) {
      if (errno == EINTR) continue;
      ::close(fd);
      error = "cannot read sim profile " + path;
      return std::nullopt;
    }
    bytes.append(piece, static_cast<size_t>(n));
    if (bytes.size() > kMaxProfileBytes) {
      ::close(fd);
      error = "sim profile " + path + " is larger than 4 MiB";
      return std::nullopt;
    }
  }
  ::close(fd);
  auto parsed = plist::parse(std::string_view(bytes));
  if (!parsed.ok() || !parsed.value->isDict()) {
    error = "sim profile " + path + " is not a property-list dictionary" +
            (parsed.error.empty() ? "" : ": " + parsed.error);
    return std::nullopt;
  }
  return simProfileFrom(*parsed.value);
}

}  // namespace sampler
