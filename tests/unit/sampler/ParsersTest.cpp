// The small readers under the sources: counter arithmetic, kernel text formats, cluster naming.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "platform/linux/CpuTopology.h"
#include "tools/powermetrics/DrmGpu.h"
#include "tools/powermetrics/ProcStat.h"
#include "tools/powermetrics/Rapl.h"

namespace {

TEST(RaplCounter, DeltaAcrossWraps) {
  struct Row {
    uint64_t before, after;
    std::optional<uint64_t> max;
    std::optional<uint64_t> want;
  };
  const std::vector<Row> rows = {
      {100, 250, 1000, 150},
      {100, 100, 1000, 0},
      {100, 250, std::nullopt, 150},  // no wrap: the range is not needed
      {900, 99, 999, 199},            // 900..999 is 100 steps, 0..99 another 100, minus one
      {999, 0, 999, 1},               // the smallest wrap
      {900, 99, std::nullopt, std::nullopt},
      {900, 99, 0, std::nullopt},
      {2000, 99, 999, std::nullopt},  // a reading above the range cannot come from this counter
      {262142328850ULL, 1499999, 262143328850ULL, 2500000},
  };
  for (const auto& r : rows) {
    EXPECT_EQ(sampler::counterDelta(r.before, r.after, r.max), r.want)
        << r.before << " -> " << r.after;
  }
}

TEST(RaplCounter, KindsSumOverPackagesAndDropWhenAnyZoneFails) {
  using sampler::RaplKind;
  std::vector<sampler::RaplZone> zones = {{RaplKind::Package, "a", 1000000},
                                          {RaplKind::Package, "b", 1000000},
                                          {RaplKind::Core, "c", 1000000},
                                          {RaplKind::Dram, "d", 1000000}};
  auto e = sampler::raplEnergies(zones, {1000, 2000, 0, 7}, {3000, 6000, 500, std::nullopt});
  EXPECT_EQ(e.packageMj, 6.0);  // 2000 + 4000 µJ
  EXPECT_EQ(e.coreMj, 0.5);
  EXPECT_EQ(e.dramMj, std::nullopt);
  EXPECT_EQ(e.uncoreMj, std::nullopt);  // no such zone
  auto partial = sampler::raplEnergies(zones, {1000, std::nullopt, 0, 0}, {3000, 6000, 0, 0});
  EXPECT_EQ(partial.packageMj, std::nullopt);
}

TEST(Clusters, GroupingByHighestFrequencyAndNames) {
  struct Row {
    std::string name;
    std::vector<uint64_t> maxKHz;
    std::vector<std::vector<size_t>> groups;
    std::vector<std::string> names;
  };
  const std::vector<Row> rows = {
      {"AllEqual", {3000000, 3000000}, {{0, 1}}, {"P-Cluster"}},
      {"FavouredCoresStayTogether", {4650000, 4850000, 4650000}, {{0, 2, 1}}, {"P-Cluster"}},
      {"BigLittle",
       {2400000, 1800000, 2400000, 1800000},
       {{1, 3}, {0, 2}},
       {"E-Cluster", "P-Cluster"}},
      {"ThreeTiers",
       {3200000, 1800000, 2600000},
       {{1}, {2}, {0}},
       {"E-Cluster", "P0-Cluster", "P1-Cluster"}},
  };
  for (const auto& r : rows) {
    auto groups = platform::linux_topology::groupByMaximum(r.maxKHz);
    EXPECT_EQ(groups, r.groups) << r.name;
    EXPECT_EQ(platform::linux_topology::clusterNames(groups.size()), r.names) << r.name;
  }
  // More tiers than the application has names for fold into the last performance cluster.
  std::vector<uint64_t> many;
  for (uint64_t i = 0; i < 14; ++i)
    many.push_back(1000000 + i * 300000 * (i + 1));
  auto groups = platform::linux_topology::groupByMaximum(many);
  ASSERT_EQ(groups.size(), 11u);
  EXPECT_EQ(platform::linux_topology::clusterNames(11).back(), "P9-Cluster");
  EXPECT_EQ(groups.back().size(), 4u);
}

TEST(ProcStatParse, LinesAndIdleShare) {
  auto s = sampler::parseProcStat(
      "cpu  10 0 10 80 0 0 0 0 0 0\n"
      "cpu0 5 0 5 40 0 0 0 0 5 0\n"
      "cpu1 5 0 5 40\n"   // an old kernel with four columns
      "cpu2 x 0 5 40\n"   // malformed: skipped
      "cpux 1 2 3 4 5\n"  // not a CPU number
      "intr 5 6 7\n");
  ASSERT_TRUE(s.all.has_value());
  EXPECT_EQ(s.all->total, 100u);
  EXPECT_EQ(s.perCpu.size(), 2u);
  EXPECT_EQ(s.perCpu.at(0).total, 50u);  // guest time is inside user already
  EXPECT_EQ(s.perCpu.at(1).idle, 40u);

  struct Row {
    sampler::CpuTicks before, after;
    std::optional<double> want;
  };
  const std::vector<Row> rows = {
      {{40, 50}, {50, 100}, 0.2},          {{40, 50}, {90, 100}, 1.0},
      {{40, 50}, {40, 50}, std::nullopt},   // no tick passed
      {{40, 50}, {30, 100}, std::nullopt},  // idle went backwards
      {{40, 100}, {50, 60}, std::nullopt},  // total went backwards
  };
  for (const auto& r : rows)
    EXPECT_EQ(sampler::idleRatio(r.before, r.after), r.want);
}

TEST(DrmGpu, AmdgpuCurrentLevel) {
  struct Row {
    std::string table;
    std::optional<double> want;
  };
  const std::vector<Row> rows = {
      {"0: 500Mhz\n1: 1850Mhz *\n2: 2450Mhz\n", 1850},
      {"0: 500Mhz *\n1: 2450Mhz\n", 500},
      {"0: 500Mhz\n1: 2450Mhz\n", std::nullopt},  // no level marked
      {"0: fastMhz *\n", std::nullopt},
      {"0: 500kHz *\n", std::nullopt},  // not a unit we know
      {"S: 19Mhz *\n0: 500Mhz\n", 19},  // the sleep level counts when current
  };
  for (const auto& r : rows)
    EXPECT_EQ(sampler::parseDpmCurrentMHz(r.table), r.want) << r.table;
}

}  // namespace
