#include "app/metrics/SampleReaders.h"

#include <gtest/gtest.h>

#include "app/metrics/SGPowerMetrics.h"
#include "unit/metrics/SampleBuilders.h"

namespace {

using fxtest::cluster;
using fxtest::withClusters;
using fxtest::withProcessor;
using CPUs = std::vector<int64_t>;

struct ClusterCase {
  const char* what;
  plist::Value data;
  double eMHz;
  double pMHz;
  CPUs eCPUs;
  CPUs pCPUs;
  bool cpuListsEmpty;  // clusterCPUs gives no entries at all
};

TEST(SampleReaders, ClusterFrequenciesAndCPUs) {
  const std::vector<ClusterCase> cases = {
      {"highest of several clusters, never an average",
       withClusters({cluster("E-Cluster", 972'000'000, {0, 1}),
                     cluster("P0-Cluster", 600'000'000, {2, 3}),
                     cluster("P1-Cluster", 3'204'000'000.0, {4, 5})}),
       972,
       3204,
       {0, 1},
       {2, 3, 4, 5},
       false},
      {"suffix order decides the CPU order, not the array order",
       withClusters({cluster("P1-Cluster", 1e9, {6, 7}), cluster("P-Cluster", 2e9, {4}),
                     cluster("E9-Cluster", 5e8, {9}), cluster("E0-Cluster", 7e8, {1})}),
       700,
       2000,
       {1, 9},
       {4, 6, 7},
       false},
      {"names outside the eleven suffixes are ignored",
       withClusters({cluster("M-Cluster", 4e9, {0}), cluster("E10-Cluster", 4e9, {1}),
                     cluster("e-Cluster", 4e9, {2}), cluster("P-cluster", 4e9, {3})}),
       0,
       0,
       {},
       {},
       false},
      {"a later cluster of the same name wins",
       withClusters({cluster("E-Cluster", 2e9, {0, 1}), cluster("E-Cluster", 1e9, {7})}),
       1000,
       0,
       {7},
       {},
       false},
      {"a non-numeric frequency is absent but the CPUs still count",
       withClusters({cluster("E-Cluster", "fast", {0}), cluster("P-Cluster", 1.5e9, {1})}),
       0,
       1500,
       {0},
       {1},
       false},
      {"no processor", plist::Value(plist::Dict{{"gpu", plist::Dict{}}}), 0, 0, {}, {}, true},
      {"processor is not a dictionary",
       plist::Value(plist::Dict{{"processor", 3}}),
       0,
       0,
       {},
       {},
       true},
      {"clusters without names",
       withClusters({plist::Dict{{"freq_hz", 1e9}}, 5}),
       0,
       0,
       {},
       {},
       true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const auto freqs = sample::clusterFrequencies(c.data);
    ASSERT_EQ(freqs.size(), 2u);
    EXPECT_DOUBLE_EQ(freqs.at("E-Cluster"), c.eMHz);
    EXPECT_DOUBLE_EQ(freqs.at("P-Cluster"), c.pMHz);
    const auto cpus = sample::clusterCPUs(c.data);
    if (c.cpuListsEmpty) {
      EXPECT_TRUE(cpus.empty());
      continue;
    }
    ASSERT_EQ(cpus.size(), 2u);
    EXPECT_EQ(cpus.at("E-Cluster"), c.eCPUs);
    EXPECT_EQ(cpus.at("P-Cluster"), c.pCPUs);
  }
}

TEST(SampleReaders, CPUListRules) {
  // One element that is not a dictionary voids the whole list; a bad "cpu" only skips itself.
  const plist::Value data = withClusters({
      plist::Dict{{"name", "E-Cluster"},
                  {"cpus", plist::Array{plist::Dict{{"cpu", 0}}, plist::Dict{{"cpu", "1"}},
                                        plist::Dict{{"cpu", 2.0}}, plist::Dict{{"cpu", 3}}}}},
      plist::Dict{{"name", "P-Cluster"}, {"cpus", plist::Array{plist::Dict{{"cpu", 4}}, 5}}},
      plist::Dict{{"name", "P0-Cluster"}, {"cpus", "none"}},
  });
  const auto cpus = sample::clusterCPUs(data);
  EXPECT_EQ(cpus.at("E-Cluster"), (CPUs{0, 3}));
  EXPECT_EQ(cpus.at("P-Cluster"), CPUs{});
}

TEST(SampleReaders, PowerValuesPickThePackageFigureByOSVersion) {
  const plist::Value data = withProcessor(plist::Dict{{"cpu_energy", 1200},
                                                      {"gpu_energy", "bad"},
                                                      {"package_energy", 1500},
                                                      {"combined_power", 14350.0},
                                                      {"ane_energy", 3}});
  const plist::Dict modern = sample::powerValues(data, true);
  EXPECT_EQ(modern.count("combined_power"), 1u);
  EXPECT_EQ(modern.count("package_energy"), 0u);
  EXPECT_EQ(modern.count("dram_energy"), 0u);               // absent stays absent
  EXPECT_EQ(modern.at("gpu_energy"), plist::Value("bad"));  // copied unchanged
  EXPECT_EQ(modern.count("ane_energy"), 0u);
  const plist::Dict older = sample::powerValues(data, false);
  EXPECT_EQ(older.count("combined_power"), 0u);
  EXPECT_EQ(older.at("package_energy"), plist::Value(1500));
  EXPECT_TRUE(sample::powerValues(plist::Value(plist::Dict{}), true).empty());
}

TEST(SampleReaders, GPUFrequencyIsCopiedOnlyWhenPresent) {
  EXPECT_EQ(
      sample::gpuFrequencyValues(plist::Value(plist::Dict{{"gpu", plist::Dict{{"freq_hz", 1398}}}}))
          .at("freq_hz"),
      plist::Value(1398));
  EXPECT_TRUE(sample::gpuFrequencyValues(plist::Value(plist::Dict{{"gpu", 1}})).empty());
  EXPECT_TRUE(sample::gpuFrequencyValues(withClusters({})).empty());
}

// The hand-written documents shaped like the sampler's output.
struct FixtureCase {
  const char* file;
  bool os13;
  double eMHz;
  double pMHz;
  CPUs eCPUs;
  CPUs pCPUs;
  const char* packageKey;
  double packageValue;
  bool hasGPU;
};

TEST(SampleReaders, RealShapedDocuments) {
  const std::vector<FixtureCase> cases = {
      {"m1-os12-sample.plist",
       false,
       1332,
       2064,
       {0, 1, 2, 3},
       {4, 5, 6, 7},
       "package_energy",
       1453,
       false},
      {"m1pro-os13-gpu-sample.plist",
       true,
       2064,
       3228,
       {0, 1},
       {2, 3, 4, 5, 6, 7, 8, 9},
       "combined_power",
       14350,
       true},
      // Later duplicates win, and the bytes after the NUL separator are not part of the sample.
      {"m2-dupkeys-nul-sample.plist",
       true,
       972,
       3204,
       {0, 1, 2, 3},
       {4, 5, 6, 7},
       "combined_power",
       2500,
       true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    const std::string bytes = fxtest::readFixture(c.file);
    ASSERT_FALSE(bytes.empty());
    const plist::Value data = SGPowerMetrics::parseSample(bytes);
    ASSERT_TRUE(data.isDict());
    ASSERT_GT(data.size(), 0u);
    const auto freqs = sample::clusterFrequencies(data);
    EXPECT_DOUBLE_EQ(freqs.at("E-Cluster"), c.eMHz);
    EXPECT_DOUBLE_EQ(freqs.at("P-Cluster"), c.pMHz);
    const auto cpus = sample::clusterCPUs(data);
    EXPECT_EQ(cpus.at("E-Cluster"), c.eCPUs);
    EXPECT_EQ(cpus.at("P-Cluster"), c.pCPUs);
    const auto power = sample::powerValues(data, c.os13);
    EXPECT_DOUBLE_EQ(power.at(c.packageKey).number().value_or(-1), c.packageValue);
    EXPECT_EQ(sample::gpuFrequencyValues(data).empty(), !c.hasGPU);
  }
  const plist::Value dup =
      SGPowerMetrics::parseSample(fxtest::readFixture("m2-dupkeys-nul-sample.plist"));
  EXPECT_EQ(dup["processor"]["cpu_energy"], plist::Value(800));
  EXPECT_EQ(dup["gpu"]["freq_hz"], plist::Value(1296.0));
}

}  // namespace
