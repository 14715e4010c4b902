// The virtual Mac of a sim profile: which entries it reports by system version, that its values
// stay inside the profile's ranges and follow the host's load, and that a seed repeats them.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "shared/plist/Plist.h"
#include "tools/powermetrics/DocumentWriter.h"
#include "tools/powermetrics/SimSampler.h"
#include "unit/sampler/TreeCopy.h"

namespace {

using sampler_test::fixture;
using sampler_test::TreeCopy;

sampler::SimProfile loadProfile(const std::string& name) {
  std::string error;
  auto p = sampler::loadSimProfile(fixture("sampler/profiles/" + name).string(), error);
  EXPECT_TRUE(p.has_value()) << error;
  return p.value_or(sampler::SimProfile{});
}

plist::Value document(const sampler::Sample& s) {
  auto parsed = plist::parse(sampler::writeDocument(s, plist::Date{}));
  EXPECT_TRUE(parsed.ok()) << parsed.error;
  return parsed.value.value_or(plist::Value{});
}

TEST(SimSampler, EnergyEntriesFollowTheSystemVersion) {
  const struct {
    const char* profile;
    bool includeGpu;
    std::vector<std::string> present, absent;
  } cases[] = {
      {"macbook-pro-m1-max-13.plist",
       true,
       {"cpu_energy", "gpu_energy", "ane_energy", "combined_power"},
       {"package_energy", "dram_energy"}},
      {"macbook-pro-m1-max-12.plist",
       false,
       {"cpu_energy", "gpu_energy", "ane_energy", "package_energy", "dram_energy"},
       {"combined_power"}},
      // A profile without a sampler section.
      {"minimal.plist",
       false,
       {},
       {"cpu_energy", "gpu_energy", "combined_power", "package_energy"}},
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(k.profile);
    sampler::SimRandom random(7);
    auto s = sampler::simulate(loadProfile(k.profile), sampler::HostLoad{0.5, {0.5, 0.5}},
                               500'000'000, k.includeGpu, random);
    plist::Value doc = document(s);
    for (const auto& key : k.present)
      EXPECT_TRUE(doc["processor"][key].isNumber()) << key;
    for (const auto& key : k.absent)
      EXPECT_TRUE(doc["processor"][key].isNone()) << key;
    EXPECT_EQ(doc["gpu"].isDict(), k.includeGpu);
  }
}

TEST(SimSampler, ClustersNamesCpusAndRangesComeFromTheProfile) {
  auto profile = loadProfile("macbook-pro-m1-max-13.plist");
  EXPECT_EQ(profile.hwModel, "MacBookPro18,2");
  for (double load : {0.0, 0.3, 1.0}) {
    sampler::SimRandom random(11);
    auto s = sampler::simulate(profile, {load, {load, load}}, 1'000'000'000, true, random);
    ASSERT_EQ(s.clusters.size(), 3u);
    EXPECT_EQ(s.clusters[0].name, "E-Cluster");
    EXPECT_EQ(s.clusters[1].name, "P0-Cluster");
    EXPECT_EQ(s.clusters[2].name, "P1-Cluster");
    EXPECT_EQ(s.clusters[2].cpus.size(), 4u);
    EXPECT_EQ(s.clusters[2].cpus[0].cpu, 6);
    for (const auto& c : s.clusters) {
      EXPECT_GE(*c.freqHz, 600e6);
      EXPECT_LE(*c.freqHz, c.name == "E-Cluster" ? 2064e6 : 3228e6);
    }
    // Over one second, millijoules equal milliwatts: inside 0.1..30 W for the CPU.
    EXPECT_GE(*s.cpuEnergyMj, 100.0);
    EXPECT_LE(*s.cpuEnergyMj, 30000.0);
    EXPECT_NEAR(*s.combinedPowerMw, *s.cpuEnergyMj + *s.gpuEnergyMj + *s.aneEnergyMj, 1e-6);
    ASSERT_TRUE(s.gpu.has_value());
    EXPECT_GE(*s.gpu->freqMHz, 389.0);  // megahertz, not hertz
    EXPECT_LE(*s.gpu->freqMHz, 1296.0);
  }
}

TEST(SimSampler, BusyHostDrawsMoreThanIdleHost) {
  auto profile = loadProfile("macbook-pro-m1-max-12.plist");
  sampler::SimRandom a(3);
  sampler::SimRandom b(3);
  auto idle = sampler::simulate(profile, {0.05, {0.05, 0.05}}, 500'000'000, false, a);
  auto busy = sampler::simulate(profile, {0.95, {0.95, 0.95}}, 500'000'000, false, b);
  EXPECT_GT(*busy.cpuEnergyMj, *idle.cpuEnergyMj * 5);
  EXPECT_GT(*busy.packageEnergyMj, *idle.packageEnergyMj);
  EXPECT_GT(*busy.clusters[1].freqHz, *idle.clusters[1].freqHz);
  EXPECT_LT(*busy.clusters[1].idleRatio, *idle.clusters[1].idleRatio);
}

// The host's real ticks drive the figures: a window in which the host was busy raises them.
TEST(SimSampler, WindowOverHostTicksIsRepeatableWithASeed) {
  auto profile = loadProfile("macbook-pro-m1-max-13.plist");
  auto run = [&](const std::string& afterTree, uint64_t seed) {
    TreeCopy tree(fixture("sysfs/vm-minimal"));
    sampler::SimOptions options{tree.root(), true, seed};
    return sampler::sampleSim(profile, options, 250, [&](int64_t ms) {
      tree.copyOver(fixture(afterTree));
      return ms * 1'000'000;
    });
  };
  auto first = run("sysfs/vm-minimal.after", 42);
  auto again = run("sysfs/vm-minimal.after", 42);
  auto other = run("sysfs/vm-minimal.after", 43);
  auto still = run("sysfs/vm-minimal", 42);  // no tick passed: an idle host
  EXPECT_EQ(first.elapsedNs, 250'000'000);
  EXPECT_EQ(document(first), document(again));
  EXPECT_NE(document(first), document(other));
  EXPECT_GT(*first.cpuEnergyMj, *still.cpuEnergyMj);
  // Virtual CPU 2 follows host CPU 0 (busy), CPU 3 follows host CPU 1 (nearly idle).
  EXPECT_LT(*first.clusters[1].cpus[0].idleRatio, 0.3);
  EXPECT_GT(*first.clusters[1].cpus[1].idleRatio, 0.85);
}

TEST(SimProfileLoad, BadFilesAreRefusedWithAReason) {
  for (const std::string name : {"broken.plist", "does-not-exist.plist"}) {
    std::string error;
    EXPECT_FALSE(sampler::loadSimProfile(fixture("sampler/profiles/" + name).string(), error));
    EXPECT_NE(error.find(name), std::string::npos) << error;
  }
}

TEST(SimProfileLoad, MalformedEntriesAreSkipped) {
  plist::Dict cluster;
  cluster.emplace("name", "E-Cluster");
  cluster.emplace("cpus", plist::Array{0, "one", -1, 2});
  cluster.emplace("minHz", 2e9);
  cluster.emplace("maxHz", 1e9);  // below the minimum: pinned to it
  plist::Dict s;
  s.emplace("clusters", plist::Array{plist::Value(cluster), plist::Value(5)});
  s.emplace("cpuPowerW", plist::Array{3.0, 1.0});  // reversed range: ignored
  s.emplace("gpuPowerW", plist::Array{1.0});
  plist::Dict root;
  root.emplace("osVersion", "12.0");
  root.emplace("name", "Test Mac");
  root.emplace("sampler", s);
  auto p = sampler::simProfileFrom(plist::Value(root));
  EXPECT_FALSE(p.combinedPower);
  EXPECT_EQ(p.hwModel, "Test Mac");
  ASSERT_EQ(p.clusters.size(), 1u);
  EXPECT_EQ(p.clusters[0].cpus, (std::vector<int>{0, 2}));
  EXPECT_EQ(p.clusters[0].maxHz, 2e9);
  EXPECT_FALSE(p.cpuPowerW.has_value());
  EXPECT_FALSE(p.gpuPowerW.has_value());
}

TEST(SimProfileLoad, VersionRule) {
  struct Row {
    std::string version;
    bool combined;
  };
  for (const auto& r : std::vector<Row>{{"13.0", true},
                                        {"12.6.3", false},
                                        {"14.2.1", true},
                                        {"11", false},
                                        {"", true},
                                        {"Ventura", true}}) {
    plist::Dict root;
    root.emplace("osVersion", r.version);
    EXPECT_EQ(sampler::simProfileFrom(plist::Value(root)).combinedPower, r.combined) << r.version;
  }
}

}  // namespace
