#include "app/metrics/smc/SGM1SMCSensorTemperature.h"

#include <algorithm>
#include <vector>

#include "app/metrics/sysinfo/SGSystemInfo.h"

const std::array<std::string_view, 22> SGM1SMCSensorTemperature::kCPUKeys = {
    "Tp01", "Tp05", "Tp09", "Tp0D", "Tp0H", "Tp0L", "Tp0P", "Tp0T", "Tp0X", "Tp0b", "Tp0f",
    "Tp0j", "Tp17", "Tp1B", "Tp1F", "Tp1J", "Tp1N", "Tp1h", "Tp1l", "Tp1p", "Tp1t", "Tp2H"};
const std::array<std::string_view, 17> SGM1SMCSensorTemperature::kGPUKeys = {
    "Tg01", "Tg05", "Tg09", "Tg0D", "Tg0H", "Tg0L", "Tg0P", "Tg0T", "Tg0X",
    "Tg0Z", "Tg0f", "Tg0j", "Tg1h", "Tg1l", "Tg2X", "Tg2f", "Tg3Z"};

bool SGM1SMCSensorTemperature::isCPUKey(std::string_view key) {
  return std::find(kCPUKeys.begin(), kCPUKeys.end(), key) != kCPUKeys.end();
}

bool SGM1SMCSensorTemperature::isGPUKey(std::string_view key) {
  return std::find(kGPUKeys.begin(), kGPUKeys.end(), key) != kGPUKeys.end();
}

SGM1SMCSensorTemperature::SGM1SMCSensorTemperature(platform::SMCUserClient& client,
                                                   platform::Sysctl& sysctl)
    : SGM1SMCSensors(client), sysctl_(sysctl) {
  discoverTemperatureKeys();
}

void SGM1SMCSensorTemperature::discoverTemperatureKeys() {
  open();
  if (auto count = readKeyCount()) {
    std::vector<std::string> keys;
    for (uint32_t i = 0; i < *count; ++i) {
      if (auto key = readKeyAtIndex(i)) keys.push_back(std::move(*key));
    }
    std::map<std::string, std::string> found;
    for (const auto& key : keys) {
      if (key.empty() || (key[0] != 'T' && key[0] != 't')) continue;
      auto info = readKeyInfo(key);
      if (info && info->dataSize != 0) found[key] = info->dataType;
    }
    availableTemperatureKeys_ = std::move(found);
  }
  std::erase_if(availableTemperatureKeys_,
                [](const auto& entry) { return !isCPUKey(entry.first) && !isGPUKey(entry.first); });
  close();
}

TemperatureReadings SGM1SMCSensorTemperature::readKeys(bool (*inTable)(std::string_view)) {
  TemperatureReadings result;
  for (const auto& [key, type] : availableTemperatureKeys_) {
    if (!inTable(key)) continue;
    auto bytes = readKeyBytes(key);
    if (!bytes) continue;
    result[key] = decodeValue(type, *bytes);
  }
  return result;
}

bool SGM1SMCSensorTemperature::isM2() const {
  return SGSystemInfo::cpuBrand(sysctl_).find("M2") != std::string::npos;
}

TemperatureReadings SGM1SMCSensorTemperature::readCPUTemperatures() {
  open();
  TemperatureReadings result = readKeys(&isCPUKey);
  const bool m2 = isM2();
  double substitute = 0.0;
  if (m2) {
    if (auto bytes = readKeyBytes(kM2SubstituteKey)) substitute = decodeValue("flt ", *bytes);
  }
  close();

  // Not "> 0" but "!(> 0)", so a NaN from a broken value is dropped too.
  std::erase_if(result, [](const auto& e) { return !(e.second > 0.0) || !isCPUKey(e.first); });
  if (m2) {
    // Without a usable substitute a low reading is left out: 0 °C would be a plainly wrong value
    // in the minimum and the average.
    const bool usable = substitute > 0.0;
    for (auto it = result.begin(); it != result.end();) {
      if (it->second < kM2SubstituteBelow) {
        if (!usable) {
          it = result.erase(it);
          continue;
        }
        it->second = substitute;
      }
      ++it;
    }
  }
  return result;
}

TemperatureReadings SGM1SMCSensorTemperature::readGPUTemperatures() {
  open();
  TemperatureReadings result = readKeys(&isGPUKey);
  close();
  std::erase_if(result, [](const auto& e) { return !(e.second > 0.0) || !isGPUKey(e.first); });
  return result;
}
