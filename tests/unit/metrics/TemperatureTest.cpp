// The temperature path from the SMC record bytes up to the model's four values, driven through
// the platform seam: the SMC emulator and the sim HID system stand for the machine.
#include <gtest/gtest.h>

#include <QSignalSpy>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <limits>
#include <vector>

#include "app/metrics/ModuleModelTemperature.h"
#include "app/metrics/SGM1IOHIDSensors.h"
#include "app/metrics/SGM1SensorTemperature.h"
#include "app/metrics/smc/SGM1SMCSensorTemperature.h"
#include "platform/linux/LinuxPlatform.h"
#include "platform/sim/SimPlatform.h"
#include "unit/core/Numbers.h"
#include "unit/core/QtApp.h"
#include "unit/core/ScratchDir.h"

namespace {

using platform::fltBytes;
using platform::SMCKey;
using Bytes = SGM1SMCSensors::ValueBytes;
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// Passes requests to an emulator and keeps every input record.
class RecordingSMC : public platform::SMCUserClient {
 public:
  explicit RecordingSMC(std::vector<SMCKey> keys)
      : emulator_([keys = std::move(keys)] { return keys; }) {}
  std::optional<int> serviceOpen(uint32_t* conn) override {
    ++opens;
    return emulator_.serviceOpen(conn);
  }
  int callStructMethod(uint32_t conn, uint32_t selector, const Record& in, Record& out) override {
    inputs.push_back(in);
    selectors.push_back(selector);
    out.fill(0xAB);  // a record that is not cleared would show this
    return emulator_.callStructMethod(conn, selector, in, out);
  }
  void serviceClose(uint32_t conn) override {
    ++closes;
    emulator_.serviceClose(conn);
  }
  std::vector<Record> inputs;
  std::vector<uint32_t> selectors;
  int opens = 0, closes = 0;

 private:
  platform::SMCEmulator emulator_;
};

platform::SysctlTable brand(const std::string& text) {
  platform::SysctlTable t;
  t.set("machdep.cpu.brand_string", text);
  return t;
}

TEST(SGM1SMCSensors, RequestRecordsAreZeroButTheirFields) {
  struct Case {
    const char* what;
    std::function<void(SGM1SMCSensors&)> request;
    std::vector<std::pair<size_t, uint8_t>> set;  // every non-zero input byte
  };
  const Case cases[] = {
      {"read bytes",
       [](SGM1SMCSensors& s) { s.readKeyBytes("Tp01"); },
       {{0, 0x31}, {1, 0x30}, {2, 0x70}, {3, 0x54}, {28, 4}, {42, 5}}},
      {"key at index",
       [](SGM1SMCSensors& s) { s.readKeyAtIndex(0x01020304); },
       {{28, 4}, {42, 8}, {44, 4}, {45, 3}, {46, 2}, {47, 1}}},
      {"key info",
       [](SGM1SMCSensors& s) { s.readKeyInfo("#KEY"); },
       {{0, 'Y'}, {1, 'E'}, {2, 'K'}, {3, '#'}, {28, 4}, {42, 9}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    RecordingSMC smc({{"Tp01", "flt ", fltBytes(40)}});
    SGM1SMCSensors sensors(smc);
    sensors.open();
    sensors.readKeyCount();  // a first request, so a second one would show leftovers
    c.request(sensors);
    ASSERT_EQ(smc.inputs.size(), 2u);
    EXPECT_EQ(smc.selectors.back(), 2u);
    SGM1SMCSensors::Record expected{};
    for (auto [offset, value] : c.set)
      expected[offset] = value;
    EXPECT_EQ(smc.inputs.back(), expected);
  }
}

TEST(SGM1SMCSensors, Decodings) {
  struct Case {
    const char* type;
    Bytes bytes;
    double value;
  };
  const Case cases[] = {
      {"flt ", {0x00, 0x00, 0x20, 0x42}, 40.0}, {"fpe2", {0x0A, 0x03, 0, 0}, 640.0},
      {"fpe2", {0xFF, 0xFF, 0, 0}, 16383.0},    {"flt", {0x00, 0x00, 0x20, 0x42}, -1.0},
      {"sp78", {0x28, 0x80, 0, 0}, -1.0},       {"ui16", {0, 0, 0, 0}, -1.0},
  };
  for (const auto& c : cases)
    EXPECT_DOUBLE_EQ(SGM1SMCSensors::decodeValue(c.type, c.bytes), c.value) << c.type;

  EXPECT_EQ(SGM1SMCSensors::fourCharString(0x54703031), "Tp01");
  EXPECT_EQ(SGM1SMCSensors::fourCharCode("Tp01"), 0x54703031u);
  EXPECT_EQ(SGM1SMCSensors::fourCharCode(""), 0u);
  EXPECT_EQ(SGM1SMCSensors::fourCharCode("xTp01"), 0x54703031u);  // the last four bytes stay

  // "#KEY" is the emulator's count, most significant byte first: 1234 keys.
  std::vector<SMCKey> many(1234, SMCKey{"Ab00", "ui8 ", {1}});
  RecordingSMC smc(many);
  SGM1SMCSensors sensors(smc);
  EXPECT_FALSE(sensors.readKeyCount());  // not open: the request fails
  sensors.open();
  EXPECT_EQ(sensors.readKeyCount(), 1234u);
  sensors.close();
  sensors.close();  // a closed connection is not closed again
  EXPECT_EQ(smc.closes, 1);
  EXPECT_EQ(sensors.conn(), 0u);
}

TEST(SGM1SMCSensorTemperature, DiscoveryKeepsTableKeysAndReadsDropNonPositive) {
  RecordingSMC smc({{"Tp01", "flt ", fltBytes(45.5f)},
                    {"Fan0", "flt ", fltBytes(1200)},
                    {"Tp05", "flt ", fltBytes(0.0f)},
                    {"TC0P", "flt ", fltBytes(50)},  // begins with T, in no table
                    {"Tg05", "fpe2", {0x0B, 0x40}},
                    {"tzzz", "flt ", fltBytes(30)},
                    {"Tp09", "ui16", {0, 40}},  // read, decodes to -1, never reported
                    {"Tg09", "flt ", {}}});     // size 0: not available
  auto table = brand("Apple M1 Max");
  SGM1SMCSensorTemperature reader(smc, table);
  EXPECT_EQ(reader.availableTemperatureKeys(),
            (std::map<std::string, std::string>{
                {"Tp01", "flt "}, {"Tp05", "flt "}, {"Tg05", "fpe2"}, {"Tp09", "ui16"}}));
  EXPECT_EQ(smc.opens, 1);
  EXPECT_EQ(smc.closes, 1);
  EXPECT_EQ(reader.readCPUTemperatures(), (TemperatureReadings{{"Tp01", 45.5}}));
  EXPECT_EQ(reader.readGPUTemperatures(), (TemperatureReadings{{"Tg05", 720}}));
  EXPECT_EQ(smc.opens, 3);
  EXPECT_EQ(smc.closes, 3);

  RecordingSMC none({});
  SGM1SMCSensorTemperature absent(none, table);
  EXPECT_TRUE(absent.availableTemperatureKeys().empty());
  EXPECT_TRUE(absent.readCPUTemperatures().empty());
  EXPECT_EQ(none.closes, 0);  // nothing was ever opened
}

TEST(SGM1SMCSensorTemperature, M2Substitution) {
  struct Case {
    const char* what;
    const char* brand;
    std::optional<float> te05;  // none: the key is missing
    TemperatureReadings cpu;
    float tp01 = 15;
  };
  const Case cases[] = {
      {"low reading replaced", "Apple M2 Pro", 38.5f, {{"Tp01", 38.5}, {"Tp05", 52}, {"Tp09", 20}}},
      {"no Te05: low reading left out", "Apple M2", std::nullopt, {{"Tp05", 52}, {"Tp09", 20}}},
      {"Te05 of 0: left out", "Apple M2 Max", 0.0f, {{"Tp05", 52}, {"Tp09", 20}}},
      {"not an M2", "Apple M3 Max", 38.5f, {{"Tp01", 15}, {"Tp05", 52}, {"Tp09", 20}}},
      {"case-sensitive", "apple m2", 38.5f, {{"Tp01", 15}, {"Tp05", 52}, {"Tp09", 20}}},
      // Dropped as not positive before the low readings are replaced, so it never becomes 38.5.
      {"zero dropped, not replaced", "Apple M2", 38.5f, {{"Tp05", 52}, {"Tp09", 20}}, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<SMCKey> keys = {{"Tp01", "flt ", fltBytes(c.tp01)},
                                {"Tp05", "flt ", fltBytes(52)},
                                {"Tp09", "flt ", fltBytes(20)}};
    if (c.te05) keys.push_back({"Te05", "ui32", fltBytes(*c.te05)});  // decoded as "flt " anyway
    RecordingSMC smc(keys);
    auto table = brand(c.brand);
    SGM1SMCSensorTemperature reader(smc, table);
    EXPECT_EQ(reader.readCPUTemperatures(), c.cpu);
  }
}

TEST(SGM1SensorTemperature, SourceByModelIdentifier) {
  const std::pair<const char*, const char*> cases[] = {
      {"MacBookPro17,1", "PMU"},  {"MacBookAir10,1", "PMU"}, {"Macmini9,1", "PMU"},
      {"iMac21,1", "PMU"},        {"iMac21,2", "PMU"},       {"MacBookPro18,3", "SMC"},
      {"MacBookPro17,1 ", "SMC"}, {"macmini9,1", "SMC"},     {"", "SMC"}};
  for (auto [model, type] : cases)
    EXPECT_EQ(SGM1SensorTemperature::chooseSensorType(model), type) << '"' << model << '"';
}

platform::sim::HIDSensor hid(plist::Value location, std::optional<double> t) {
  return {std::move(location), t};
}

std::unique_ptr<platform::sim::SimPlatform> machine(const std::string& model,
                                                    std::vector<platform::sim::HIDSensor> sensors,
                                                    std::vector<SMCKey> smc = {}) {
  platform::sim::Profile p;
  p.sysctl.set("hw.model", model);
  p.sysctl.set("machdep.cpu.brand_string", std::string("Apple M1"));
  p.hid = std::move(sensors);
  p.smc = std::move(smc);
  return std::make_unique<platform::sim::SimPlatform>(std::move(p), "test", nullptr);
}

TEST(SGM1IOHIDSensors, NamesByLocationAndFilters) {
  auto m = machine("Macmini9,1", {hid(int64_t{0x54703069}, 41.0),          // "Tp0i": CPU
                                  hid(int64_t{0x54673569}, 35.5),          // "Tg5i": GPU
                                  hid(int64_t{0x54703969}, 60.0),          // "Tp9i": neither
                                  hid(int64_t{0x54653069}, std::nullopt),  // "Te0i", no event
                                  hid(int64_t{0}, 99.0), hid(int64_t{-5}, 99.0),
                                  hid(std::string("Tp1i"), 99.0), hid(plist::Value(), 99.0),
                                  hid(int64_t{0x54673569}, 36.5)});  // same name: replaces
  const TemperatureReadings all = SGM1IOHIDSensors::readTemperatureSensors(
      m->hid(), SGM1IOHIDSensors::kUsagePage, SGM1IOHIDSensors::kUsage,
      SGM1IOHIDSensors::kEventType);
  EXPECT_EQ(all, (TemperatureReadings{{"Tp0i", 41}, {"Tg5i", 36.5}, {"Tp9i", 60}, {"Te0i", -1}}));
  EXPECT_EQ(SGM1IOHIDSensors::filterHIDCPU(all), (TemperatureReadings{{"Tp0i", 41}}));
  EXPECT_EQ(SGM1IOHIDSensors::filterHIDGPU(all), (TemperatureReadings{{"Tg5i", 36.5}}));
  // Another usage matches nothing.
  EXPECT_TRUE(SGM1IOHIDSensors::readTemperatureSensors(m->hid(), 0xFF00, 6, 15).empty());
}

class ModuleModelTemperatureTest : public ::testing::Test {
 protected:
  void SetUp() override { fxtest::coreApp(); }
};

// Exact comparison that takes NaN as equal to NaN.
void expectSame(double actual, double expected) {
  fxtest::expectNear(actual, expected, 1e-9);
}

TEST_F(ModuleModelTemperatureTest, ReducesEachSample) {
  struct Case {
    const char* what;
    TemperatureReadings cpu, gpu;
    std::optional<double> previousGPU;  // the GPU average stored one sample before
    double min, max, avg, gpuAvg;
  };
  const Case cases[] = {
      {"three readings",
       {{"a", 41}, {"b", 47.5}, {"c", 44}},
       {{"g", 38}},
       {},
       41,
       47.5,
       (41 + 47.5 + 44) / 3,
       38},
      {"no readings", {}, {}, {}, -1, -1, kNaN, kNaN},
      {"glitch takes the previous average", {{"a", 40}}, {{"g", 7.3}}, 38.2, 40, 40, 40, 38.2},
      {"glitch without history stays", {{"a", 40}}, {{"g", 7.3}}, {}, 40, 40, 40, 7.3},
      {"5.0 stays", {{"a", 40}}, {{"g", 5.0}}, 38.2, 40, 40, 40, 5.0},
      {"10.0 stays", {{"a", 40}}, {{"g", 10.0}}, 38.2, 40, 40, 40, 10.0},
      {"4.9 stays", {{"a", 40}}, {{"g", 4.9}}, 38.2, 40, 40, 40, 4.9},
      {"just above 5 is a glitch", {{"a", 40}}, {{"g", 5.01}}, 38.2, 40, 40, 40, 38.2},
      {"no GPU after a glitch-free sample", {{"a", 40}}, {}, 38.2, 40, 40, 40, kNaN},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    auto m = machine("Mac14,10", {});
    ModuleModelTemperature model(*m);
    if (c.previousGPU) model.record({}, {{"g", *c.previousGPU}});
    model.record(c.cpu, c.gpu);
    expectSame(model.CPUMin(), c.min);
    expectSame(model.CPUMax(), c.max);
    expectSame(model.CPUAvg(), c.avg);
    expectSame(model.GPUAvg(), c.gpuAvg);
    const size_t n = c.previousGPU ? 2 : 1;
    ASSERT_EQ(model.historicCPUMin().size(), n);
    ASSERT_EQ(model.historicGPUAvg().size(), n);
    expectSame(model.historicCPUMin()[0], c.min);
    expectSame(model.historicCPUMax()[0], c.max);
    expectSame(model.historicCPUAvg()[0], c.avg);
    expectSame(model.historicGPUAvg()[0], c.gpuAvg);
  }
}

// From the sensors to the values: a HID sensor without an event does not drag the minimum to
// -1 °C and the mean to 27 °C.
TEST_F(ModuleModelTemperatureTest, HIDSensorWithoutEventIsLeftOut) {
  auto m = machine("Macmini9,1",
                   {hid(int64_t{0x54703069}, 40.0), hid(int64_t{0x54703169}, 42.0),
                    hid(int64_t{0x54653069}, std::nullopt), hid(int64_t{0x54673069}, 30.0)});
  ModuleModelTemperature model(*m);
  EXPECT_EQ(model.sensorTmp().sensorType(), "PMU");
  EXPECT_EQ(model.sensorTmp().smcTmp(), nullptr);
  model.update();
  EXPECT_DOUBLE_EQ(model.CPUMin(), 40);
  EXPECT_DOUBLE_EQ(model.CPUMax(), 42);
  EXPECT_DOUBLE_EQ(model.CPUAvg(), 41);
  EXPECT_DOUBLE_EQ(model.GPUAvg(), 30);
}

// On Linux the machine's own sensors are the source, whatever its model identifier: the four
// values from captured trees, and from one tree where an SMC beside coretemp holds keys of the
// Apple Silicon tables, which count only on an Apple Silicon processor.
TEST_F(ModuleModelTemperatureTest, LinuxTreesGiveTheFourValues) {
  fxtest::ScratchDir smc;
  for (const auto& [path, value] : std::vector<std::pair<std::string, std::string>>{
           {"sys/class/hwmon/hwmon0/name", "coretemp"},
           {"sys/class/hwmon/hwmon0/temp1_label", "Package id 0"},
           {"sys/class/hwmon/hwmon0/temp1_input", "60000"},
           {"sys/devices/platform/applesmc.768/temp1_label", "Tp01"},
           {"sys/devices/platform/applesmc.768/temp1_input", "55000"},
           {"sys/devices/platform/applesmc.768/temp2_label", "Tg05"},
           {"sys/devices/platform/applesmc.768/temp2_input", "45000"}}) {
    std::filesystem::create_directories((smc.path / path).parent_path());
    std::ofstream(smc.path / path) << value << "\n";
  }
  const std::string trees = FERROLUX_FIXTURES_DIR "/sysfs/";
  struct Case {
    std::string root;
    const char* machine;
    double min, max, avg, gpuAvg;
  };
  const Case cases[] = {
      {trees + "intel-hybrid-laptop", "x86_64", 45, 50, 47.8, kNaN},
      {trees + "amd-desktop", "x86_64", 52.75, 54, 53.375, 50},
      {trees + "arm-rk3588", "aarch64", 44.4, 45.3, 45, 43.5},
      // coretemp's package sensor is all the CPU has; applesmc's keys count for nothing
      {trees + "intel-mac-applesmc", "x86_64", 56, 56, 56, kNaN},
      // eight cores on two chips; their "Physical id" package sensors (55 °C) are no cores
      {trees + "node-exporter-collage", "x86_64", 50, 54, 52.25, kNaN},
      {trees + "vm-minimal", "x86_64", -1, -1, kNaN, kNaN},
      {smc.path.string(), "x86_64", 60, 60, 60, kNaN},
      {smc.path.string(), "aarch64", 55, 60, 57.5, 45},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.root + " " + c.machine);
    platform::LinuxPlatform machine({c.root, c.machine, false});
    ModuleModelTemperature model(machine);
    EXPECT_EQ(model.sensorTmp().sensorType(), "sensors");
    model.update();
    expectSame(model.CPUMin(), c.min);
    expectSame(model.CPUMax(), c.max);
    expectSame(model.CPUAvg(), c.avg);
    expectSame(model.GPUAvg(), c.gpuAvg);
  }
}

TEST_F(ModuleModelTemperatureTest, HistoriesKeep350AndClearDataEmptiesThem) {
  auto m =
      machine("Mac14,10", {}, {{"Tp01", "flt ", fltBytes(50)}, {"Tg01", "flt ", fltBytes(40)}});
  ModuleModelTemperature model(*m);
  ASSERT_NE(model.sensorTmp().smcTmp(), nullptr);
  QSignalSpy changed(&model, &ModuleModelTemperature::changed);
  model.record({{"a", 1}}, {});
  for (int i = 0; i < 350; ++i)
    model.update();
  EXPECT_EQ(changed.count(), 0);  // samples do not announce
  for (const History* h : {&model.historicCPUMin(), &model.historicCPUMax(),
                           &model.historicCPUAvg(), &model.historicGPUAvg()})
    EXPECT_EQ(h->size(), 350u);
  EXPECT_DOUBLE_EQ(model.historicCPUMin().back(), 50);  // the first sample is gone
  EXPECT_DOUBLE_EQ(model.GPUAvg(), 40);

  NotificationCenter::defaultCenter().post(notifications::kUpdateView);
  EXPECT_EQ(changed.count(), 1);
  EXPECT_EQ(model.historicCPUMin().size(), 350u);
  NotificationCenter::defaultCenter().post(notifications::kClearData);
  EXPECT_EQ(changed.count(), 2);
  for (double v : {model.CPUMin(), model.CPUMax(), model.CPUAvg(), model.GPUAvg()})
    EXPECT_EQ(v, 0);
  for (const History* h : {&model.historicCPUMin(), &model.historicCPUMax(),
                           &model.historicCPUAvg(), &model.historicGPUAvg()})
    EXPECT_TRUE(h->empty());
}

}  // namespace
