// Temperatures presented as SMC keys, and the GPU from DRM on captured trees or from a
// stand-in NVIDIA library.
#include <gtest/gtest.h>

#include <dlfcn.h>

#include <cstring>
#include <filesystem>
#include <fstream>

#include "platform/linux/LinuxGPU.h"
#include "platform/linux/LinuxSensors.h"
#include "platform/linux/Nvml.h"
#include "unit/core/ScratchDir.h"

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
      // acpitz, nvme x2, coretemp (the package sensor is not a core), iwlwifi (hwmon10 after
      // hwmon4)
      {"intel-hybrid-laptop",
       {{"Tz00", 27.8f},
        {"Tz01", 33.85f},
        {"Tz02", 33.85f},
        {"Tz03", 52.f},
        {"Tp01", 50.f},
        {"Tp05", 49.f},
        {"Tp09", 47.f},
        {"Tp0D", 48.f},
        {"Tp0H", 45.f},
        {"Tz04", 41.f}}},
      // an unreadable k10temp input is skipped; the Tccd sensors win over Tctl; amdgpu's edge and
      // junction are the GPU, its memory sensor is not
      {"amd-desktop",
       {{"Tz00", 38.85f},
        {"Tz01", 61.25f},
        {"Tp01", 54.f},
        {"Tp05", 52.75f},
        {"Tg01", 48.f},
        {"Tg05", 52.f},
        {"Tz02", 50.f}}},
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

// Small trees for what the captured ones lack: a chip registered twice, Tdie beside Tctl, a board
// whose CPU sensor is only a thermal zone, and the NVIDIA GPU's temperature from NVML.
TEST(LinuxSensors, DriverRules) {
  using Files = std::vector<std::pair<std::string, std::string>>;
  struct Case {
    const char* what;
    Files files;
    std::optional<float> nvidia;
    std::vector<std::pair<std::string, float>> keys;
  };
  const std::string h = "sys/class/hwmon/", t = "sys/class/thermal/";
  const Case cases[] = {
      {"coretemp registered twice on one device",
       {{h + "hwmon1/device", "@coretemp.0"},
        {h + "hwmon1/name", "coretemp"},
        {h + "hwmon1/temp2_input", "40000"},
        {h + "hwmon1/temp2_label", "Core 0"},
        {h + "hwmon2/device", "@coretemp.0"},
        {h + "hwmon2/name", "coretemp"},
        {h + "hwmon2/temp2_input", "40000"},
        {h + "hwmon2/temp2_label", "Core 0"},
        {h + "hwmon3/device", "@coretemp.1"},
        {h + "hwmon3/name", "coretemp"},
        {h + "hwmon3/temp2_input", "44000"},
        {h + "hwmon3/temp2_label", "Core 0"}},
       std::nullopt,
       {{"Tp01", 40.f}, {"Tp05", 44.f}}},
      {"k10temp with Tdie and Tctl",
       {{h + "hwmon0/name", "k10temp"},
        {h + "hwmon0/temp1_input", "70000"},
        {h + "hwmon0/temp1_label", "Tctl"},
        {h + "hwmon0/temp2_input", "43000"},
        {h + "hwmon0/temp2_label", "Tdie"}},
       std::nullopt,
       {{"Tz00", 70.f}, {"Tp01", 43.f}}},
      {"k10temp with Tctl alone",
       {{h + "hwmon0/name", "k10temp"},
        {h + "hwmon0/temp1_input", "45500"},
        {h + "hwmon0/temp1_label", "Tctl"}},
       std::nullopt,
       {{"Tp01", 45.5f}}},
      {"CPU only as a thermal zone; NVIDIA GPU last",
       {{h + "hwmon0/name", "nvme"},
        {h + "hwmon0/temp1_input", "30000"},
        {t + "thermal_zone0/type", "cpu-thermal"},
        {t + "thermal_zone0/temp", "48312"},
        {t + "thermal_zone1/type", "acpitz"},
        {t + "thermal_zone1/temp", "20000"},
        {t + "cooling_device0/type", "cpu-thermal"}},
       61.f,
       {{"Tz00", 30.f}, {"Tp01", 48.312f}, {"Tg01", 61.f}}},
      {"thermal zones are not read beside a hwmon CPU sensor",
       {{h + "hwmon0/name", "cpu_thermal"},
        {h + "hwmon0/temp1_input", "48000"},
        {t + "thermal_zone0/type", "cpu-thermal"},
        {t + "thermal_zone0/temp", "48000"}},
       std::nullopt,
       {{"Tp01", 48.f}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    fxtest::ScratchDir dir;
    for (const auto& [path, content] : c.files) {
      const auto full = dir.path / path;
      std::filesystem::create_directories(full.parent_path());
      if (content.starts_with("@")) {  // a device link
        std::filesystem::create_directories(dir.path / "sys/devices/platform" / content.substr(1));
        std::filesystem::create_directory_symlink(
            dir.path / "sys/devices/platform" / content.substr(1), full);
      } else {
        std::ofstream(full) << content << "\n";
      }
    }
    auto keys = readTemperatureKeys(linux_fs::Root(dir.path), c.nvidia);
    ASSERT_EQ(keys.size(), c.keys.size());
    for (size_t i = 0; i < keys.size(); ++i) {
      EXPECT_EQ(keys[i].key, c.keys[i].first);
      EXPECT_FLOAT_EQ(decodeFlt(keys[i].bytes), c.keys[i].second);
    }
  }
  Nvml nvml(FAKE_NVML_PATH);
  EXPECT_EQ(nvml.readGPUTemperature(), 61.f);
  EXPECT_FALSE(Nvml("libferrolux-no-such-library.so.1").readGPUTemperature());
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
