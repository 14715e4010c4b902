#include "app/metrics/SGM1IOHIDSensors.h"

#include <algorithm>
#include <string>

const std::array<std::string_view, 31> SGM1IOHIDSensors::kCPUCodes = {
    // performance cores (there is no "Tp9i")
    "Tp0i", "Tp1i", "Tp2i", "Tp3i", "Tp4i", "Tp5i", "Tp6i", "Tp7i", "Tp8i", "Tpai", "Tpbi", "Tpci",
    "Tpdi", "Tpei", "Tpfi",
    // efficiency cores
    "Te0i", "Te1i", "Te2i", "Te3i", "Te4i", "Te5i", "Te6i", "Te7i", "Te8i", "Te9i", "Teai", "Tebi",
    "Teci", "Tedi", "Teei", "Tefi"};
const std::array<std::string_view, 16> SGM1IOHIDSensors::kGPUCodes = {
    "Tg0i", "Tg1i", "Tg2i", "Tg3i", "Tg4i", "Tg5i", "Tg6i", "Tg7i",
    "Tg8i", "Tg9i", "Tgai", "Tgbi", "Tgci", "Tgdi", "Tgei", "Tgfi"};

TemperatureReadings SGM1IOHIDSensors::readTemperatureSensors(platform::HIDEventSystem& hid,
                                                             int32_t usagePage, int32_t usage,
                                                             int64_t eventType) {
  TemperatureReadings result;
  auto services = hid.copyServices(usagePage, usage);
  if (!services) return result;
  for (const auto& service : *services) {
    if (!service) continue;
    const auto location = service->copyProperty("LocationID").integer();
    if (!location || *location <= 0) continue;
    const auto l = static_cast<uint64_t>(*location);
    const std::string name{static_cast<char>(l >> 24), static_cast<char>(l >> 16),
                           static_cast<char>(l >> 8), static_cast<char>(l)};
    result[name] = service->copyEventFloatValue(eventType, eventType << 16).value_or(kNoEvent);
  }
  return result;
}

bool SGM1IOHIDSensors::isCPUCode(std::string_view code) {
  return std::find(kCPUCodes.begin(), kCPUCodes.end(), code) != kCPUCodes.end();
}

bool SGM1IOHIDSensors::isGPUCode(std::string_view code) {
  return std::find(kGPUCodes.begin(), kGPUCodes.end(), code) != kGPUCodes.end();
}

namespace {

TemperatureReadings keep(const TemperatureReadings& readings, bool (*inTable)(std::string_view)) {
  TemperatureReadings kept;
  for (const auto& [code, value] : readings) {
    if (inTable(code) && value > 0.0) kept.emplace(code, value);
  }
  return kept;
}

}  // namespace

TemperatureReadings SGM1IOHIDSensors::filterHIDCPU(const TemperatureReadings& readings) {
  return keep(readings, &isCPUCode);
}

TemperatureReadings SGM1IOHIDSensors::filterHIDGPU(const TemperatureReadings& readings) {
  return keep(readings, &isGPUCode);
}
