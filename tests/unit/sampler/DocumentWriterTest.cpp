// The document's shape and units as the application reads them.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "shared/plist/Plist.h"
#include "tools/powermetrics/DocumentWriter.h"

namespace {

TEST(DocumentWriter, EntriesTypesAndUnits) {
  sampler::Sample s;
  s.elapsedNs = 500'123'456;
  s.hwModel = "MacBookPro18,2";
  s.cpuEnergyMj = 1199.6;  // whole millijoules, rounded
  s.combinedPowerMw = 14350.4;
  s.gpuEnergyMj = std::numeric_limits<double>::quiet_NaN();  // never written
  s.clusters = {{"E-Cluster", 972e6, 0.75, {{0, 972e6, 0.5}, {1, std::nullopt, 1.0}}}};
  s.gpu = sampler::GpuSample{1398.0, 0.25, 42.0};

  std::string bytes =
      sampler::writeDocument(s, plist::Date{700000000.0});  // XML dates keep whole seconds
  ASSERT_EQ(bytes.back(), '\0');
  EXPECT_EQ(bytes.find('\0'), bytes.size() - 1);  // exactly one separator, at the end
  auto parsed = plist::parse(bytes);
  ASSERT_TRUE(parsed.ok()) << parsed.error;
  const plist::Value& d = *parsed.value;

  EXPECT_EQ(d["elapsed_ns"].integer(), 500'123'456);
  EXPECT_EQ(*d["hw_model"].string(), "MacBookPro18,2");
  EXPECT_EQ(d["timestamp"].date(), plist::Date{700000000.0});  // XML dates keep whole seconds
  EXPECT_EQ(d["processor"]["cpu_energy"].integer(), 1200);
  EXPECT_EQ(d["processor"]["combined_power"].integer(), 14350);
  EXPECT_TRUE(d["processor"]["gpu_energy"].isNone());
  EXPECT_TRUE(d["processor"]["package_energy"].isNone());

  const plist::Value& c = d["processor"]["clusters"][size_t{0}];
  EXPECT_EQ(*c["name"].string(), "E-Cluster");
  EXPECT_EQ(c["freq_hz"].number(), 972e6);
  EXPECT_EQ(c["idle_ratio"].number(), 0.75);
  EXPECT_EQ(c["cpus"][size_t{0}]["cpu"].integer(), 0);  // an integer, as the reader requires
  EXPECT_EQ(c["cpus"][size_t{0}]["freq_hz"].number(), 972e6);
  EXPECT_TRUE(c["cpus"][size_t{1}]["freq_hz"].isNone());
  EXPECT_EQ(c["cpus"][size_t{1}]["cpu"].integer(), 1);

  EXPECT_EQ(d["gpu"]["freq_hz"].number(), 1398.0);  // megahertz
  EXPECT_EQ(d["gpu"]["idle_ratio"].number(), 0.25);
  EXPECT_EQ(d["gpu"]["gpu_energy"].integer(), 42);
}

TEST(DocumentWriter, EmptySampleStillHasProcessorAndClusters) {
  auto parsed = plist::parse(sampler::writeDocument(sampler::Sample{}, plist::Date{}));
  ASSERT_TRUE(parsed.ok()) << parsed.error;
  EXPECT_TRUE((*parsed.value)["processor"]["clusters"].isArray());
  EXPECT_TRUE((*parsed.value)["gpu"].isNone());
}

// The sampler writes its document directly; every byte must match what the general writer
// makes of the same values, so no reader can tell the two apart.
TEST(DocumentWriter, BytesMatchTheGeneralWriter) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const auto withText = [](std::string model, std::string source) {
    sampler::Sample s;
    s.hwModel = std::move(model);
    s.cpuFreqSource = std::move(source);
    return s;
  };
  sampler::Sample full;
  full.elapsedNs = -5;
  full.hwModel = "MacBookPro18,2";
  full.cpuEnergyMj = -0.6;
  full.gpuEnergyMj = 9.5e18;  // too large for a whole number: left out
  full.aneEnergyMj = 0.0;
  full.dramEnergyMj = 1e15;
  full.packageEnergyMj = 12.5;
  full.combinedPowerMw = 14350.4;
  full.clusters = {{"E-Cluster", 972e6, 0.1 + 0.2, {{0, 972e6, 0.0}, {1, nan, 1.0}}},
                   {"P-Cluster", std::nullopt, -0.0, {}},
                   {"", 1e-300, 1e300, {{7, 2.5e9, 1.0 / 3.0}}}};
  full.cpuFreqSource = "cpufreq";
  full.unreadEnergy = {{"dram_energy", "no zone"}, {"gpu_energy", "<permission> & more"}};
  full.gpu = sampler::GpuSample{1398.0, 0.25, 42.0};
  sampler::Sample emptyGpu;
  emptyGpu.gpu = sampler::GpuSample{};

  const struct {
    const char* name;
    sampler::Sample sample;
    plist::Date date;
  } rows[] = {
      {"empty", sampler::Sample{}, plist::Date{}},
      {"every entry and odd numbers", full, plist::Date{700000000.7}},
      {"gpu without readings", emptyGpu, plist::Date{-1e12}},
      {"markup in text", withText("A&B <Model> \"x\" 'y'", "a>b"), plist::Date{1e12}},
      {"invalid UTF-8 and controls", withText("caf\xc3\xa9 \xff\x01\t", "\x80"), plist::Date{nan}},
  };
  for (const auto& row : rows) {
    std::string general =
        plist::write(sampler::sampleDocument(row.sample, row.date), plist::Format::XML);
    general.push_back('\0');
    EXPECT_EQ(sampler::writeDocument(row.sample, row.date), general) << row.name;
  }
}

}  // namespace
