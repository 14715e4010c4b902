// Temperature sensors with their roles, and the GPU from DRM on captured trees or from a
// stand-in NVIDIA library.
#include <gtest/gtest.h>

#include <dlfcn.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <tuple>

#include "platform/linux/LinuxGPU.h"
#include "platform/linux/LinuxSensors.h"
#include "platform/linux/Nvml.h"
#include "unit/core/ScratchDir.h"

namespace {

using namespace platform;

linux_fs::Root tree(const std::string& name) {
  return linux_fs::Root(std::string(FERROLUX_FIXTURES_DIR) + "/sysfs/" + name);
}

using Expected = std::vector<std::tuple<std::string, SensorRole, double>>;
constexpr auto C = SensorRole::CPU, G = SensorRole::GPU, O = SensorRole::Other,
               K = SensorRole::SMCKey;

void expectSensors(const std::vector<TemperatureSensor>& got, const Expected& want) {
  ASSERT_EQ(got.size(), want.size());
  for (size_t i = 0; i < got.size(); ++i) {
    SCOPED_TRACE(got[i].name);
    EXPECT_EQ(got[i].name, std::get<0>(want[i]));
    EXPECT_EQ(got[i].role, std::get<1>(want[i]));
    EXPECT_DOUBLE_EQ(got[i].celsius, std::get<2>(want[i]));
  }
}

// Writes files below a scratch root; "@x" makes the file a link to the device directory x.
void writeTree(const std::filesystem::path& root,
               const std::vector<std::pair<std::string, std::string>>& files) {
  for (const auto& [path, content] : files) {
    const auto full = root / path;
    std::filesystem::create_directories(full.parent_path());
    if (content.starts_with("@")) {
      std::filesystem::create_directories(root / "sys/devices/platform" / content.substr(1));
      std::filesystem::create_directory_symlink(root / "sys/devices/platform" / content.substr(1),
                                                full);
    } else {
      std::ofstream(full) << content << "\n";
    }
  }
}

TEST(LinuxSensors, SensorsPerMachine) {
  struct Case {
    const char* tree;
    Expected sensors;
  };
  const Case cases[] = {
      // hwmon10 after hwmon4; the package sensor is not a core
      {"intel-hybrid-laptop",
       {{"acpitz temp1", O, 27.8},
        {"nvme Composite", O, 33.85},
        {"nvme Sensor 1", O, 33.85},
        {"coretemp Package id 0", O, 52},
        {"coretemp Core 0", C, 50},
        {"coretemp Core 4", C, 49},
        {"coretemp Core 8", C, 47},
        {"coretemp Core 12", C, 48},
        {"coretemp Core 16", C, 45},
        {"iwlwifi_1 temp1", O, 41}}},
      // an unreadable k10temp input is skipped; the Tccd sensors win over Tctl; amdgpu's edge and
      // junction are the GPU, its memory sensor is not
      {"amd-desktop",
       {{"nvme Composite", O, 38.85},
        {"k10temp Tctl", O, 61.25},
        {"k10temp Tccd1", C, 54},
        {"k10temp Tccd2", C, 52.75},
        {"amdgpu edge", G, 48},
        {"amdgpu junction", G, 52},
        {"amdgpu mem", O, 50}}},
      {"arm-rk3588",
       {{"soc_thermal temp1", O, 44.375},
        {"bigcore0_thermal temp1", C, 45.3},
        {"bigcore2_thermal temp1", C, 45.3},
        {"littlecore_thermal temp1", C, 44.4},
        {"center_thermal temp1", O, 43.5},
        {"gpu_thermal temp1", G, 43.5},
        {"npu_thermal temp1", O, 44.4}}},
      // applesmc sits beside coretemp, whose package sensor is all the CPU has; a label that is
      // not four characters is no SMC key
      {"intel-mac-applesmc",
       {{"coretemp Package id 0", C, 56},
        {"TB0T", K, 30},
        {"TC0D", K, 55.25},
        {"TC0P", K, 52},
        {"TG0P", K, 47.5},
        {"Th1H", K, 49}}},
      // two coretemp chips labelling their packages the 3.x kernels' way; applesmc's attributes
      // on its device (fans only); the cpu-thermal zone is not needed
      {"node-exporter-collage",
       {{"coretemp #0 Physical id 0", O, 55},
        {"coretemp #0 Core 0", C, 54},
        {"coretemp #0 Core 1", C, 52},
        {"coretemp #0 Core 2", C, 53},
        {"coretemp #0 Core 3", C, 50},
        {"coretemp #1 Physical id 0", O, 55},
        {"coretemp #1 Core 0", C, 54},
        {"coretemp #1 Core 1", C, 52},
        {"coretemp #1 Core 2", C, 53},
        {"coretemp #1 Core 3", C, 50}}},
      {"vm-minimal", {}},
      {"kunpeng920-2socket", {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.tree);
    LinuxTemperatureSensors sensors(tree(c.tree));
    expectSensors(sensors.read(), c.sensors);
  }
}

// Small trees for what the captured ones lack: a chip registered twice, Tdie beside Tctl, the
// package sensor under each of its labels when it is all the CPU has, boards whose CPU sensors
// are only thermal zones, and the NVIDIA GPU's temperature from NVML.
TEST(LinuxSensors, DriverRules) {
  using Files = std::vector<std::pair<std::string, std::string>>;
  struct Case {
    const char* what;
    Files files;
    std::optional<float> nvidia;
    Expected sensors;
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
       {{"coretemp #0 Core 0", C, 40}, {"coretemp #1 Core 0", C, 44}}},
      {"k10temp with Tdie and Tctl",
       {{h + "hwmon0/name", "k10temp"},
        {h + "hwmon0/temp1_input", "70000"},
        {h + "hwmon0/temp1_label", "Tctl"},
        {h + "hwmon0/temp2_input", "43000"},
        {h + "hwmon0/temp2_label", "Tdie"}},
       std::nullopt,
       {{"k10temp Tctl", O, 70}, {"k10temp Tdie", C, 43}}},
      {"k10temp with Tctl alone",
       {{h + "hwmon0/name", "k10temp"},
        {h + "hwmon0/temp1_input", "45500"},
        {h + "hwmon0/temp1_label", "Tctl"}},
       std::nullopt,
       {{"k10temp Tctl", C, 45.5}}},
      {"package only, labelled the 3.x way",
       {{h + "hwmon0/name", "coretemp"},
        {h + "hwmon0/temp1_input", "61000"},
        {h + "hwmon0/temp1_label", "Physical id 0"}},
       std::nullopt,
       {{"coretemp Physical id 0", C, 61}}},
      {"package only, from 2.6.35's own chip, attributes on the device",
       {{h + "hwmon0/device", "@pkgtemp.0"},
        {"sys/devices/platform/pkgtemp.0/name", "pkgtemp"},
        {"sys/devices/platform/pkgtemp.0/temp1_input", "58000"}},
       std::nullopt,
       {{"pkgtemp temp1", C, 58}}},
      {"pkgtemp beside per-core sensors",
       {{h + "hwmon0/name", "coretemp"},
        {h + "hwmon0/temp1_input", "50000"},
        {h + "hwmon0/temp1_label", "Core 0"},
        {h + "hwmon1/name", "pkgtemp"},
        {h + "hwmon1/temp1_input", "58000"}},
       std::nullopt,
       {{"coretemp Core 0", C, 50}, {"pkgtemp temp1", O, 58}}},
      {"x86_pkg_temp zones on two sockets, no coretemp",
       {{h + "hwmon0/name", "acpitz"},
        {h + "hwmon0/temp1_input", "27800"},
        {t + "thermal_zone0/type", "acpitz"},
        {t + "thermal_zone0/temp", "27800"},
        {t + "thermal_zone1/type", "x86_pkg_temp"},
        {t + "thermal_zone1/temp", "63000"},
        {t + "thermal_zone2/type", "x86_pkg_temp"},
        {t + "thermal_zone2/temp", "59000"}},
       std::nullopt,
       {{"acpitz temp1", O, 27.8}, {"x86_pkg_temp #0", C, 63}, {"x86_pkg_temp #1", C, 59}}},
      {"CPU only as a thermal zone; NVIDIA GPU last",
       {{h + "hwmon0/name", "nvme"},
        {h + "hwmon0/temp1_input", "30000"},
        {t + "thermal_zone0/type", "cpu-thermal"},
        {t + "thermal_zone0/temp", "48312"},
        {t + "thermal_zone1/type", "acpitz"},
        {t + "thermal_zone1/temp", "20000"},
        {t + "cooling_device0/type", "cpu-thermal"}},
       61.f,
       {{"nvme temp1", O, 30}, {"cpu-thermal", C, 48.312}, {"NVIDIA GPU", G, 61}}},
      {"thermal zones are not read beside a hwmon CPU sensor",
       {{h + "hwmon0/name", "cpu_thermal"},
        {h + "hwmon0/temp1_input", "48000"},
        {t + "thermal_zone0/type", "cpu-thermal"},
        {t + "thermal_zone0/temp", "48000"}},
       std::nullopt,
       {{"cpu_thermal temp1", C, 48}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    fxtest::ScratchDir dir;
    writeTree(dir.path, c.files);
    LinuxTemperatureSensors sensors(linux_fs::Root(dir.path), [&] { return c.nvidia; });
    expectSensors(sensors.read(), c.sensors);
  }
  Nvml nvml(FAKE_NVML_PATH);
  EXPECT_EQ(nvml.readGPUTemperature(), 61.f);
  EXPECT_FALSE(Nvml("libferrolux-no-such-library.so.1").readGPUTemperature());
}

// Every core of a 64-core, two-socket machine counts, whatever the package sensor's label.
TEST(LinuxSensors, EveryCoreOfTwoSockets) {
  for (const std::string package : {"Package id", "Physical id"}) {
    SCOPED_TRACE(package);
    fxtest::ScratchDir dir;
    std::vector<std::pair<std::string, std::string>> files;
    for (int socket = 0; socket < 2; ++socket) {
      const std::string chip = "sys/class/hwmon/hwmon" + std::to_string(socket) + "/";
      files.push_back({chip + "name", "coretemp"});
      files.push_back({chip + "temp1_label", package + " " + std::to_string(socket)});
      files.push_back({chip + "temp1_input", "99000"});
      for (int core = 0; core < 32; ++core) {
        const std::string temp = chip + "temp" + std::to_string(core + 2);
        files.push_back({temp + "_label", "Core " + std::to_string(core)});
        // The last core of the second socket is the hottest.
        files.push_back(
            {temp + "_input", std::to_string(socket * 32 + core == 63 ? 90000 : 50000)});
      }
    }
    writeTree(dir.path, files);
    const auto sensors = LinuxTemperatureSensors(linux_fs::Root(dir.path)).read();
    ASSERT_EQ(sensors.size(), 66u);
    EXPECT_EQ(std::count_if(sensors.begin(), sensors.end(),
                            [](const auto& s) { return s.role == SensorRole::CPU; }),
              64);
    double hottest = 0;
    for (const auto& s : sensors)
      if (s.role == SensorRole::CPU) hottest = std::max(hottest, s.celsius);
    EXPECT_DOUBLE_EQ(hottest, 90);  // the 64th core, not the 99 °C packages
    EXPECT_EQ(sensors.back().name, "coretemp #1 Core 31");
    EXPECT_EQ(sensors.back().role, SensorRole::CPU);
    EXPECT_EQ(sensors[33].name, "coretemp #1 " + package + " 1");
    EXPECT_EQ(sensors[33].role, SensorRole::Other);
  }
}

// Discovery runs once; a new chip or a sensor that went away makes it run again.
TEST(LinuxSensors, DiscoversOnceAndAgainWhenChipsChange) {
  fxtest::ScratchDir dir;
  const std::string h = "sys/class/hwmon/";
  writeTree(dir.path, {{h + "hwmon0/name", "coretemp"},
                       {h + "hwmon0/temp2_input", "40000"},
                       {h + "hwmon0/temp2_label", "Core 0"},
                       {h + "hwmon0/temp3_input", "42000"},
                       {h + "hwmon0/temp3_label", "Core 1"}});
  LinuxTemperatureSensors sensors{linux_fs::Root(dir.path)};
  EXPECT_EQ(sensors.read().size(), 2u);
  std::ofstream(dir.path / h / "hwmon0/temp2_input") << "41000\n";
  expectSensors(sensors.read(), {{"coretemp Core 0", C, 41}, {"coretemp Core 1", C, 42}});
  EXPECT_EQ(sensors.discoveries(), 1u);

  writeTree(dir.path, {{h + "hwmon1/name", "amdgpu"}, {h + "hwmon1/temp1_input", "50000"}});
  EXPECT_EQ(sensors.read().size(), 3u);
  EXPECT_EQ(sensors.discoveries(), 2u);

  std::filesystem::remove(dir.path / h / "hwmon0/temp3_input");
  expectSensors(sensors.read(), {{"coretemp Core 0", C, 41}, {"amdgpu temp1", G, 50}});
  EXPECT_EQ(sensors.discoveries(), 3u);
  EXPECT_EQ(sensors.read().size(), 2u);
  EXPECT_EQ(sensors.discoveries(), 3u);
}

TEST(LinuxSensors, ChipClassification) {
  const std::pair<const char*, SensorRole> cases[] = {
      {"coretemp", C},         {"k10temp", C}, {"zenpower", C}, {"cpu_thermal", C},
      {"bigcore0_thermal", C}, {"amdgpu", G},  {"nouveau", G},  {"xe", G},
      {"gpu_thermal", G},      {"nvme", O},    {"acpitz", O},   {"", O}};
  for (const auto& [name, role] : cases)
    EXPECT_EQ(classifyHwmon(name), role) << name;
}

TEST(LinuxGPU, DRMPerMachine) {
  struct Case {
    const char* tree;
    std::optional<std::string> name;
    double utilization;
  };
  const Case cases[] = {
      // named through the system's pci.ids (pciutils' path, hwdata's)
      {"amd-desktop", "AMD Navi 21 [Radeon RX 6800/6800 XT / 6900 XT]", 0.37},
      {"intel-hybrid-laptop", "Intel Alder Lake-P GT2 [Iris Xe Graphics]", 0.0},
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
  EXPECT_EQ(gpu.read().name, "AMD Navi 21 [Radeon RX 6800/6800 XT / 6900 XT]");
  // Without the list the card is named by its ids.
  EXPECT_EQ(readDRM(tree("amd-desktop"))->name, "AMD GPU [1002:73bf]");
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
