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

}  // namespace
