// Temperatures presented as SMC keys, and the GPU from DRM on captured trees or from a
// stand-in NVIDIA library.
#include <gtest/gtest.h>

#include <dlfcn.h>

#include <cstring>

#include "platform/linux/LinuxGPU.h"
#include "platform/linux/LinuxSensors.h"
#include "platform/linux/Nvml.h"

namespace {

using namespace platform;

linux_fs::Root tree(const std::string& name) {
  return linux_fs::Root(std::string(FERROLUX_FIXTURES_DIR) + "/sysfs/" + name);
}

float decodeFlt(const std::vector<uint8_t>& b) {
  float f = 0;
  EXPECT_EQ(b.size(), 4u);
  std::memcpy(&f, b.data(), 4);  // little-endian host
  return f;
}

TEST(LinuxSensors, KeysPerMachine) {
  struct Case {
    const char* tree;
    std::vector<std::pair<std::string, float>> keys;
  };
  const Case cases[] = {
      // acpitz, nvme x2, coretemp x6 (CPU keys in table order), iwlwifi (hwmon10 after hwmon4)
      {"intel-hybrid-laptop",
       {{"Tz00", 27.8f},
        {"Tz01", 33.85f},
        {"Tz02", 33.85f},
        {"Tp01", 52.f},
        {"Tp05", 50.f},
        {"Tp09", 49.f},
        {"Tp0D", 47.f},
        {"Tp0H", 48.f},
        {"Tp0L", 45.f},
        {"Tz03", 41.f}}},
      // an unreadable k10temp input is skipped; amdgpu sensors take the GPU keys
      {"amd-desktop",
       {{"Tz00", 38.85f},
        {"Tp01", 61.25f},
        {"Tp05", 54.f},
        {"Tp09", 52.75f},
        {"Tg01", 48.f},
        {"Tg05", 52.f},
        {"Tg09", 50.f}}},
      {"arm-rk3588",
       {{"Tz00", 44.375f},
        {"Tp01", 45.3f},
        {"Tp05", 45.3f},
        {"Tp09", 44.4f},
        {"Tz01", 43.5f},
        {"Tg01", 43.5f},
        {"Tz02", 44.4f}}},
      // applesmc's own key names win over hwmon; a label that is not four characters is dropped
      {"intel-mac-applesmc",
       {{"TB0T", 30.f}, {"TC0D", 55.25f}, {"TC0P", 52.f}, {"TG0P", 47.5f}, {"Th1H", 49.f}}},
      {"vm-minimal", {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.tree);
    auto keys = readTemperatureKeys(tree(c.tree));
    ASSERT_EQ(keys.size(), c.keys.size());
    for (size_t i = 0; i < keys.size(); ++i) {
      EXPECT_EQ(keys[i].key, c.keys[i].first);
      EXPECT_EQ(keys[i].type, "flt ");
      EXPECT_FLOAT_EQ(decodeFlt(keys[i].bytes), c.keys[i].second);
    }
  }
}

TEST(LinuxSensors, ChipClassification) {
  const std::pair<const char*, SensorKind> cases[] = {
      {"coretemp", SensorKind::CPU},         {"k10temp", SensorKind::CPU},
      {"zenpower", SensorKind::CPU},         {"cpu_thermal", SensorKind::CPU},
      {"bigcore0_thermal", SensorKind::CPU}, {"amdgpu", SensorKind::GPU},
      {"nouveau", SensorKind::GPU},          {"xe", SensorKind::GPU},
      {"gpu_thermal", SensorKind::GPU},      {"nvme", SensorKind::Other},
      {"acpitz", SensorKind::Other},         {"", SensorKind::Other}};
  for (const auto& [name, kind] : cases)
    EXPECT_EQ(classifyHwmon(name), kind) << name;
}

TEST(LinuxGPU, DRMPerMachine) {
  struct Case {
    const char* tree;
    std::optional<std::string> name;
    double utilization;
  };
  const Case cases[] = {
      {"amd-desktop", "AMD GPU [1002:73bf]", 0.37},
      {"intel-hybrid-laptop", "Intel GPU [8086:46a6]", 0.0},
      {"arm-rk3588", std::nullopt, 0.0},
      {"vm-minimal", std::nullopt, 0.0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.tree);
    LinuxGPUStatistics gpu(tree(c.tree), nullptr);
    GPUReading r = gpu.read();
    EXPECT_EQ(r.name, c.name);
    EXPECT_DOUBLE_EQ(r.utilization, c.utilization);
    EXPECT_FALSE(r.cores.has_value());
  }
}

TEST(LinuxGPU, MissingNvmlLibraryIsNoError) {
  NvmlLibrary missing("libferrolux-no-such-library.so.1");
  EXPECT_FALSE(missing.available());
  EXPECT_FALSE(missing.graphicsClockMHz().has_value());
  auto nvml = std::make_unique<Nvml>("libferrolux-no-such-library.so.1");
  EXPECT_FALSE(nvml->readFirstGPU().has_value());
  // DRM still answers when NVML cannot.
  LinuxGPUStatistics gpu(tree("amd-desktop"), std::move(nvml));
  EXPECT_EQ(gpu.read().name, "AMD GPU [1002:73bf]");
}

TEST(LinuxGPU, NvmlBindingReadsTheFirstGPUAndShutsDown) {
  // Held open here, so the fake library (and its count of open sessions) stays loaded after
  // the readers close their handles on it.
  void* held = ::dlopen(FAKE_NVML_PATH, RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(held, nullptr);
  const auto sessions = reinterpret_cast<int (*)()>(::dlsym(held, "fakeNvmlInitialisedCount"));
  ASSERT_NE(sessions, nullptr);
  {
    NvmlLibrary lib(FAKE_NVML_PATH);
    ASSERT_TRUE(lib.available());
    auto a = lib.energyMillijoules();
    auto b = lib.energyMillijoules();
    ASSERT_TRUE(a && b);
    EXPECT_EQ(*b - *a, 500u);
    EXPECT_EQ(lib.graphicsClockMHz(), 1410u);
    EXPECT_EQ(lib.powerMilliwatts(), 250000u);

    auto nvml = std::make_unique<Nvml>(FAKE_NVML_PATH);
    auto reading = nvml->readFirstGPU();
    ASSERT_TRUE(reading);
    EXPECT_EQ(reading->name, "NVIDIA H100 80GB HBM3");
    EXPECT_DOUBLE_EQ(reading->utilization, 0.37);
    EXPECT_EQ(reading->cores, 16896);
    // NVML comes before DRM.
    LinuxGPUStatistics gpu(tree("amd-desktop"), std::move(nvml));
    EXPECT_EQ(gpu.read().name, "NVIDIA H100 80GB HBM3");
    EXPECT_GT(sessions(), 0);
  }
  // Every init was matched by a shutdown when the readers went away.
  EXPECT_EQ(sessions(), 0);
  ::dlclose(held);
}

}  // namespace
