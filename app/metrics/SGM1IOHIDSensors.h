// The HID temperature sensors of the system's event system, read in one pass. Each sensor is
// named by the four characters of its "LocationID"; a sensor that gives no temperature event
// reads -1.0. The two tables say which location codes count for the CPU and for the GPU.
//
// Stateless: every read asks the platform's HID event system afresh. Main thread.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

#include "app/metrics/TemperatureReadings.h"
#include "platform/Platform.h"

struct SGM1IOHIDSensors {
  // The vendor page's temperature-sensor usage and the temperature event; the value sits in
  // event field (event type << 16).
  static constexpr int32_t kUsagePage = 0xFF00;
  static constexpr int32_t kUsage = 5;
  static constexpr int64_t kEventType = 15;
  static constexpr double kNoEvent = -1.0;

  static const std::array<std::string_view, 31> kCPUCodes;
  static const std::array<std::string_view, 16> kGPUCodes;

  // Every service matching the usage page and usage, by location name; a later service of the
  // same name replaces an earlier one, services without a positive integer "LocationID" are
  // skipped. Empty when the system lists no services.
  static TemperatureReadings readTemperatureSensors(platform::HIDEventSystem& hid,
                                                    int32_t usagePage, int32_t usage,
                                                    int64_t eventType);

  // The entries whose code is in the CPU (GPU) table and whose reading is positive: a sensor
  // without an event must not pull the minimum and the mean down to -1 °C.
  static TemperatureReadings filterHIDCPU(const TemperatureReadings& readings);
  static TemperatureReadings filterHIDGPU(const TemperatureReadings& readings);

  static bool isCPUCode(std::string_view code);
  static bool isGPUCode(std::string_view code);
};
