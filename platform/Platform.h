// The seam between Ferrolux and the operating system.
//
// Each interface mirrors the one system call its algorithm needs on macOS, so the byte-level
// rules above it (record layouts, decodings, fallbacks) are written and tested once. Back ends:
// platform/linux (the real machine) and platform/sim (a virtual Mac described by a profile).
// No call throws: failures give the neutral values each interface documents.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "shared/plist/Plist.h"

namespace platform {

// sysctlbyname: with `oldp` null, stores the value's size in *oldlenp; otherwise copies at most
// *oldlenp bytes and stores the number copied. Returns 0, or -1 when the name is unknown.
class Sysctl {
 public:
  virtual ~Sysctl() = default;
  virtual int sysctlbyname(std::string_view name, void* oldp, size_t* oldlenp) = 0;
};

// Four-character codes as the SMC writes them: first character in the most significant byte.
uint32_t fourCharCode(std::string_view text);
std::string fourCharString(uint32_t code);

// The AppleSMC user client: open, one 80-byte structure call per request, close.
class SMCUserClient {
 public:
  static constexpr size_t kRecordSize = 80;
  using Record = std::array<uint8_t, kRecordSize>;

  // The record's layout, as the kernel interface defines it: the fields the reader sets and
  // the service answers in, the command byte's requests, and the one structure method.
  static constexpr size_t kKeyOffset = 0;
  static constexpr size_t kDataSizeOffset = 28;
  static constexpr size_t kDataTypeOffset = 32;
  static constexpr size_t kCommandOffset = 42;
  static constexpr size_t kIndexOffset = 44;
  static constexpr size_t kBytesOffset = 48;
  static constexpr size_t kMaxBytes = 32;
  static constexpr uint8_t kReadBytes = 5;
  static constexpr uint8_t kReadKeyAtIndex = 8;
  static constexpr uint8_t kReadKeyInfo = 9;
  static constexpr uint32_t kStructMethod = 2;

  // The record's integers are in the machine's order (little-endian on every Mac we stand for).
  static uint32_t load32(const Record& r, size_t offset) {
    uint32_t v = 0;
    std::memcpy(&v, r.data() + offset, sizeof v);
    return v;
  }
  static void store32(Record& r, size_t offset, uint32_t v) {
    std::memcpy(r.data() + offset, &v, sizeof v);
  }

  virtual ~SMCUserClient() = default;
  // Finds the "AppleSMC" service and opens a user client on it. Returns std::nullopt when no
  // service matches (the caller leaves its handle unchanged); otherwise the open's result code
  // (0 for success) with the handle written to *conn.
  virtual std::optional<int> serviceOpen(uint32_t* conn) = 0;
  // IOConnectCallStructMethod: returns 0 on success.
  virtual int callStructMethod(uint32_t conn, uint32_t selector, const Record& input,
                               Record& output) = 0;
  virtual void serviceClose(uint32_t conn) = 0;
};

// One service of the HID event system.
class HIDServiceClient {
 public:
  virtual ~HIDServiceClient() = default;
  // IOHIDServiceClientCopyProperty: None when the service lacks the property.
  virtual plist::Value copyProperty(std::string_view key) const = 0;
  // IOHIDServiceClientCopyEvent + IOHIDEventGetFloatValue: nullopt when there is no event.
  virtual std::optional<double> copyEventFloatValue(int64_t eventType, int64_t field) const = 0;
};

class HIDEventSystem {
 public:
  virtual ~HIDEventSystem() = default;
  // Services matching {"PrimaryUsagePage": page, "PrimaryUsage": usage}, in system order;
  // nullopt when the system gives no list at all.
  virtual std::optional<std::vector<std::unique_ptr<HIDServiceClient>>> copyServices(
      int32_t usagePage, int32_t usage) = 0;
};

// The I/O registry: property dictionaries of the services of one class.
class IORegistry {
 public:
  virtual ~IORegistry() = default;
  // nullopt when matching fails; otherwise one entry per service in registry order, nullopt for
  // a service whose properties cannot be read.
  virtual std::optional<std::vector<std::optional<plist::Value>>> servicesMatching(
      std::string_view className) = 0;
};

// Tick counters of one CPU, as the kernel keeps them.
struct CPUTicks {
  int64_t cpuNum = 0;  // the kernel's number for this CPU
  int64_t user = 0;
  int64_t system = 0;
  int64_t idle = 0;
  int64_t nice = 0;
};

class ProcessorLoad {
 public:
  virtual ~ProcessorLoad() = default;
  // Per-CPU ticks in the kernel's order; empty when they cannot be read.
  virtual std::vector<CPUTicks> read() = 0;
};

// A GPU's name and busy fraction (0 to 1) from a source other than the I/O registry. `cores` is
// the GPU's core count where the source knows it (the system_profiler stand-in prints it).
struct GPUReading {
  std::optional<std::string> name;
  double utilization = 0;
  std::optional<int64_t> cores;
};

class GPUStatistics {
 public:
  virtual ~GPUStatistics() = default;
  virtual GPUReading read() = 0;
};

// What a temperature sensor counts for. SMCKey: a sensor that an SMC driver names by its key;
// whether it counts is decided by the SMC key tables, which hold on Apple Silicon only.
enum class SensorRole { CPU, GPU, Other, SMCKey };

struct TemperatureSensor {
  std::string name;  // unique on the machine: "coretemp #1 Core 3", "x86_pkg_temp", "TC0P"
  SensorRole role = SensorRole::Other;
  double celsius = 0;
};

// Temperature sensors that the machine names and classifies itself (Linux hwmon chips and
// thermal zones), where no SMC or HID table names them.
class TemperatureSensors {
 public:
  virtual ~TemperatureSensors() = default;
  // Every sensor, all read in one pass; empty when the machine has none.
  virtual std::vector<TemperatureSensor> read() = 0;
};

// Absolute paths of the programs the application and the helper start. On Linux the sampler and
// system_profiler are Ferrolux's own stand-ins and launchctl's role is played by systemctl.
struct ToolPaths {
  std::string nice;            // "/usr/bin/nice"
  std::string powermetrics;    // the sampler
  std::string systemProfiler;  // "/usr/sbin/system_profiler"
  std::string launchctl;       // "/bin/launchctl"; systemctl on Linux
};

struct OSVersion {
  int major = 0;
  int minor = 0;
  int patch = 0;
  auto operator<=>(const OSVersion&) const = default;
};

class Platform {
 public:
  virtual ~Platform() = default;

  // "linux" or "sim:<profile>", for the log and --machine-info.
  virtual std::string name() const = 0;

  virtual Sysctl& sysctl() = 0;
  virtual SMCUserClient& smc() = 0;
  virtual HIDEventSystem& hid() = 0;
  virtual IORegistry& ioRegistry() = 0;
  virtual ProcessorLoad& processorLoad() = 0;
  // The GPU source used instead of the registry walk; null where the registry answers.
  virtual GPUStatistics* gpuStatistics() = 0;
  // The machine's own temperature sensors, used instead of the SMC and HID tables; null on a
  // Mac, real or simulated.
  virtual TemperatureSensors* temperatureSensors() { return nullptr; }
  virtual const ToolPaths& toolPaths() const = 0;
  // The macOS version this platform stands for (Linux counts as before 13.0).
  virtual OSVersion osVersion() const = 0;
  // True when the sampler only works on Apple Silicon, so a non-ARM processor is refused.
  virtual bool samplerNeedsAppleSilicon() const = 0;
  // Environment the sampler and system_profiler stand-ins need (a sim profile's path, say).
  virtual std::vector<std::pair<std::string, std::string>> toolEnvironment() const = 0;

  // True when the platform's version is at least major.minor.
  bool isOSAtLeast(int major, int minor = 0) const {
    return osVersion() >= OSVersion{major, minor, 0};
  }
};

// The outcome of choosing a platform: the platform, or why there is none.
struct CreateResult {
  std::unique_ptr<Platform> platform;
  std::string error;  // empty on success
};

// Builds the platform for a spec: "linux" (the real machine), or "sim:NAME" where NAME is a
// profile name (NAME.plist in the profile folders, see findProfile) or a path to a profile.
// For "linux", FERROLUX_SYSFS_ROOT reads a captured tree instead of "/" and FERROLUX_MACHINE
// replaces uname's machine string.
// An unknown spec or a missing or broken profile gives an error naming the problem.
CreateResult create(std::string_view spec);

// FERROLUX_PLATFORM when set and not empty, otherwise "linux".
std::string specFromEnvironment();

// Where "sim:NAME" looks for NAME.plist: FERROLUX_PROFILES_DIR, the build tree's data folder,
// the installed share/ferrolux/profiles, next to the running program's prefix. A NAME holding a
// slash or ending in ".plist" is a path. Returns the path found, or nullopt.
std::optional<std::string> findProfile(std::string_view name);

// The process-wide platform, chosen once at start. setCurrent installs it and returns true; it
// refuses (false) once a platform is in place, so references handed out stay valid. current()
// without an earlier setCurrent builds the platform from the environment (falling back to
// "linux" when that spec fails).
bool setCurrent(std::unique_ptr<Platform> platform);
Platform& current();

}  // namespace platform
