// The machine's own GPU: its name and how busy it is. Where the platform has an I/O registry the
// Apple accelerator is found among the IOAccelerator services; elsewhere the platform's GPU
// statistics answer in the same form. Stateless; each call reads afresh.
#pragma once

#include <optional>
#include <string>
#include <utility>

#include "platform/Platform.h"

class SGSystemGPUInfo {
 public:
  // (name, busy fraction 0..1); (absent, 0) when no suitable GPU is found.
  using Reading = std::pair<std::optional<std::string>, double>;

  static Reading readGPUInfo(platform::Platform& platform);
  // The registry walk on its own, over the services' property dictionaries.
  static Reading fromRegistry(const std::vector<std::optional<plist::Value>>& services);

  static constexpr uint32_t kAppleVendorID = 0x106B;
};
