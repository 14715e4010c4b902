// The document the system_profiler stand-in prints for "-xml TYPE".
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/Platform.h"
#include "shared/plist/Plist.h"

namespace system_profiler {

// An array holding one dictionary with "_dataType" and "_items": for SPDisplaysDataType one item
// per known GPU with its model ("sppci_model") and, when known, "sppci_cores" as text; for any
// other data type (or no GPU) "_items" is empty.
plist::Value linuxReport(std::string_view dataType, const std::optional<platform::GPUReading>& gpu);

// A sim profile's document for the data type; the empty report when the profile has none.
plist::Value simReport(const plist::Value& systemProfiler, std::string_view dataType);

}  // namespace system_profiler
