// A sim profile: the description of a virtual Mac, read from one XML property list. The keys
// and their meaning are described in data/profiles/FORMAT.md.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Platform.h"
#include "platform/SMCEmulator.h"
#include "platform/SysctlTable.h"
#include "shared/plist/Plist.h"

namespace platform::sim {

struct HIDSensor {
  plist::Value locationID;
  std::optional<double> temperature;  // none: the sensor gives no event
};

struct Profile {
  std::string path;
  std::string name;
  OSVersion osVersion;
  SysctlTable sysctl;
  std::vector<SMCKey> smc;
  std::vector<HIDSensor> hid;
  // One entry per IOAccelerator service; an entry that is not a dictionary stands for a service
  // whose properties cannot be read.
  std::vector<std::optional<plist::Value>> ioAccelerators;
  plist::Value systemProfiler;  // a dictionary, or None
  plist::Value sampler;         // a dictionary, or None
  int cpuCount = 0;             // logical CPUs of the virtual machine
};

struct ProfileResult {
  std::optional<Profile> profile;
  std::string error;  // empty on success
};

// "13.4.1" → {13, 4, 1}; missing parts are 0. nullopt when it is not such a version.
std::optional<OSVersion> parseOSVersion(std::string_view text);

// Checks and converts a parsed document; `path` only appears in error messages.
ProfileResult parseProfile(const plist::Value& document, const std::string& path);
ProfileResult loadProfile(const std::string& path);

}  // namespace platform::sim
