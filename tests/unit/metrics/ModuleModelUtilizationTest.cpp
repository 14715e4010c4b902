// The utilization model over scripted /proc/stat texts and sampler documents: tick differences,
// the first sample's absolute counters, E/P grouping by the kernel's CPU numbers, the NaN of an
// empty cluster, and what "ClearData" keeps.
#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <cmath>

#include "app/core/UserDefaults.h"
#include "app/metrics/ModuleModelUtilization.h"
#include "app/metrics/SGPowerMetrics.h"
#include "unit/core/Numbers.h"
#include "unit/core/QtApp.h"
#include "unit/metrics/SampleBuilders.h"
#include "unit/sysinfo/FakePlatform.h"

namespace {

// /proc/stat order is user nice system idle.
std::string stat(std::initializer_list<std::string> cpuLines) {
  std::string out = "cpu  0 0 0 0\n";
  for (const std::string& l : cpuLines)
    out += l + "\n";
  return out + "intr 1\n";
}

const plist::Value kNoClusters = fxtest::withProcessor({});
const plist::Value kEP = fxtest::withClusters(
    {fxtest::cluster("E-Cluster", 1e9, {0, 1}), fxtest::cluster("P-Cluster", 3e9, {2, 3})});
const plist::Value kEmptyP = fxtest::withClusters(
    {fxtest::cluster("E-Cluster", 1e9, {0, 1}), fxtest::cluster("P-Cluster", 3e9, {})});
const plist::Value kOnlyE = fxtest::withClusters({fxtest::cluster("E-Cluster", 1e9, {0, 1})});

class UtilizationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fxtest::coreApp();
    ASSERT_TRUE(dir.isValid());
    defaults = std::make_unique<UserDefaults>(dir.filePath("d.ini"));
    store = std::make_unique<SGPowerMetrics>(true, *defaults);
    store->setHelperLink({[](double, bool) {}, [] { return true; }});
    model = std::make_unique<ModuleModelUtilization>(*store, machine);
    store->setModuleUpdate(SGPowerMetrics::Step::Utilization, [this] { model->update(); });
    fxtest::drainEvents();
  }
  QTemporaryDir dir;
  std::unique_ptr<UserDefaults> defaults;
  ScriptedPlatform machine;
  std::unique_ptr<SGPowerMetrics> store;
  std::unique_ptr<ModuleModelUtilization> model;
};

void expectFraction(double actual, double expected, const char* what) {
  fxtest::expectNear(actual, expected, 1e-12, what);
}

TEST_F(UtilizationTest, ValuesAfterTheLastOfSomeSamples) {
  constexpr double nan = std::numeric_limits<double>::quiet_NaN();
  struct Case {
    const char* name;
    plist::Value sample;
    std::vector<std::string> stats;  // one per sample
    double utilization, e, p;
  };
  const std::vector<Case> cases = {
      {"interval between two samples",
       kNoClusters,
       {stat({"cpu0 100 0 50 850", "cpu1 200 0 100 700"}),
        stat({"cpu0 150 0 60 1790", "cpu1 260 0 140 1600"})},
       0.08,
       0,
       0},
      {"first sample counts since start", kNoClusters, {stat({"cpu0 100 0 50 850"})}, 0.15, 0, 0},
      {"nice ticks are busy", kNoClusters, {stat({"cpu0 0 25 0 75"})}, 0.25, 0, 0},
      {"idle E, busy P",
       kEP,
       {stat({"cpu0 0 0 0 0", "cpu1 0 0 0 0", "cpu2 0 0 0 0", "cpu3 0 0 0 0"}),
        stat({"cpu0 0 0 0 100", "cpu1 0 0 0 100", "cpu2 100 0 0 0", "cpu3 100 0 0 0"})},
       0.5,
       0,
       1},
      // cpu1 is offline: E holds cpu0 only, P still cpu2 and cpu3 (not positions 2 and 3).
      {"offline CPU keeps the grouping",
       kEP,
       {stat({"cpu0 0 0 0 100", "cpu2 100 0 0 0", "cpu3 100 0 0 0"})},
       2.0 / 3,
       0,
       1},
      // A CPU went offline between samples: the counts differ, so counters since start.
      {"CPU set changed",
       kEP,
       {stat({"cpu0 0 0 0 100", "cpu1 0 0 0 100", "cpu2 0 0 0 100", "cpu3 0 0 0 100"}),
        stat({"cpu0 50 0 0 150", "cpu2 0 0 0 300", "cpu3 0 0 0 300"})},
       50.0 / 800,
       0.25,
       0},
      {"empty P list is not a number",
       kEmptyP,
       {stat({"cpu0 10 0 0 90", "cpu1 10 0 0 90"})},
       0.1,
       0.1,
       nan},
      // The cluster lists always name both kinds: one the sample lacks is an empty list.
      {"a kind the sample lacks is an empty list",
       kOnlyE,
       {stat({"cpu0 10 0 0 90", "cpu1 30 0 0 70"})},
       0.2,
       0.2,
       nan},
      {"unreadable counters", kEP, {""}, nan, nan, nan},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SetUp();
    machine.load.texts.assign(c.stats.begin(), c.stats.end());
    for (size_t i = 0; i < c.stats.size(); ++i)
      store->applySample(c.sample);
    expectFraction(model->utilization(), c.utilization, "utilization");
    expectFraction(model->eutilization(), c.e, "eutilization");
    expectFraction(model->putilization(), c.p, "putilization");
    EXPECT_EQ(model->historic().size(), c.stats.size());
  }
}

TEST_F(UtilizationTest, GPUValueOnlyWhenAGPUIsNamed) {
  machine.gpu = std::make_unique<FakeGPU>();
  machine.load.texts = {stat({"cpu0 1 0 0 1"})};
  machine.gpu->reading = {"Apple M2", 0.37, {}};
  store->applySample(kNoClusters);
  EXPECT_DOUBLE_EQ(model->utilizationGPU(), 0.37);
  machine.gpu->reading = {std::nullopt, 0.5, {}};
  store->applySample(kNoClusters);
  EXPECT_EQ(model->utilizationGPU(), 0);
  EXPECT_EQ(model->historicGPU(), (History{0, 0.37}));
}

TEST_F(UtilizationTest, ClearDataKeepsTheSnapshotAndTheClusters) {
  machine.load.texts = {stat({"cpu0 0 0 0 100", "cpu1 0 0 0 100", "cpu2 0 0 0 100"}),
                        stat({"cpu0 0 0 0 200", "cpu1 0 0 0 200", "cpu2 100 0 0 100"})};
  store->applySample(kEP);
  NotificationCenter::defaultCenter().post(notifications::kClearData);
  EXPECT_TRUE(model->historic().empty() && model->historice().empty() &&
              model->historicp().empty() && model->historicGPU().empty());
  EXPECT_EQ(model->utilization(), 0);
  // The next sample has no clusters, but the lists of the first stay.
  store->applySample(kNoClusters);
  EXPECT_NEAR(model->utilization(), 1.0 / 3, 1e-12);  // the interval, not the counters since start
  EXPECT_EQ(model->putilization(), 1);
  EXPECT_EQ(model->historic().size(), 1u);
}

}  // namespace
