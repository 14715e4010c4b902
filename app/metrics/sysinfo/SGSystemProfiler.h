// Asks the platform's system_profiler for one data type and reads the GPU core count from it.
// The tool runs synchronously; the caller waits (it runs once per application run).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/Platform.h"
#include "shared/plist/Plist.h"

class SGSystemProfiler {
 public:
  // The first item of the tool's "-xml TYPE" document, or none when the tool cannot be run or
  // prints something of another shape.
  static std::optional<plist::Value> items(platform::Platform& platform, std::string_view dataType);
  // The GPU core count ("sppci_cores" of SPDisplaysDataType, a text), or -1 when unreadable.
  static int64_t numberOfGPUCores(platform::Platform& platform);

  // The document rules on their own: an array whose first element is a dictionary whose
  // "_items" is an array whose first element is a dictionary.
  static std::optional<plist::Value> itemsFromDocument(std::string_view bytes);
  // "sppci_cores" of an item as a decimal integer; -1 when missing, not a text or not a number.
  static int64_t coresFromItems(const std::optional<plist::Value>& items);

  // How long the tool may take before it is given up as failed.
  static constexpr int kTimeoutMs = 30000;
};
