#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QTemporaryDir>

#include <cmath>
#include <string_view>

#include "app/core/UserDefaults.h"
#include "app/metrics/ModuleModelFrequency.h"
#include "app/metrics/ModuleModelPower.h"
#include "app/metrics/PowerAxis.h"
#include "app/metrics/SGPowerMetrics.h"
#include "unit/core/QtApp.h"
#include "unit/metrics/SampleBuilders.h"

namespace {

using fxtest::cluster;
using fxtest::withProcessor;

class ModuleModelsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fxtest::coreApp();
    fxtest::drainEvents();
    ASSERT_TRUE(dir.isValid());
    defaults = std::make_unique<UserDefaults>(dir.filePath("defaults.ini"));
  }
  // A store, on the given OS generation, wired to the two models and always authorized.
  void build(bool os13) {
    store = std::make_unique<SGPowerMetrics>(os13, *defaults);
    store->setHelperLink({[](double, bool) {}, [] { return true; }});
    power = std::make_unique<ModuleModelPower>(*store, os13);
    frequency = std::make_unique<ModuleModelFrequency>(*store);
    store->setModuleUpdate(SGPowerMetrics::Step::Power, [this] { power->update(); });
    store->setModuleUpdate(SGPowerMetrics::Step::Frequency, [this] { frequency->update(); });
    fxtest::drainEvents();
  }
  void feedPackage(double combinedMilliwatts) {
    store->applySample(withProcessor(plist::Dict{{"combined_power", combinedMilliwatts}}));
  }
  QTemporaryDir dir;
  std::unique_ptr<UserDefaults> defaults;
  std::unique_ptr<SGPowerMetrics> store;
  std::unique_ptr<ModuleModelPower> power;
  std::unique_ptr<ModuleModelFrequency> frequency;
};

TEST_F(ModuleModelsTest, AxisFollowsTheLargestPackagePowerInTheHistory) {
  build(true);
  EXPECT_EQ(power->axisLabels(), (QStringList{"30", "25", "20", "15", "10", "5", "0"}));
  EXPECT_EQ(power->axisMaxValue(), 0);
  struct Case {
    std::vector<double> watts;  // fed oldest first
    double axisMax;
    qsizetype labelCount;
  };
  const std::vector<Case> cases = {
      {{0}, 20, 5},         {{20}, 20, 5},       {{20.01}, 30, 7},
      {{3, 95, 7}, 100, 6}, {{700.5}, 800, 6},   {{800}, 800, 6},
      {{950}, 800, 6},      {{45, 1, 1}, 50, 6}, {{88}, 90, 7},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.watts.back());
    power->clearData();
    for (double w : c.watts)
      feedPackage(w * 1000);
    EXPECT_EQ(power->axisMaxValue(), c.axisMax);
    EXPECT_EQ(power->axisLabels().size(), c.labelCount);
    EXPECT_EQ(power->axisLabels().front().toDouble(), c.axisMax);
    EXPECT_EQ(power->axisLabels().back(), "0");
  }
}

TEST_F(ModuleModelsTest, AxisTableIsWellFormed) {
  const auto& table = powerAxisTable();
  ASSERT_EQ(table.size(), 20u);
  for (size_t i = 0; i < table.size(); ++i) {
    SCOPED_TRACE(i);
    const QStringList& labels = table[i].labels;
    ASSERT_GE(labels.size(), 5);
    ASSERT_LE(labels.size(), 8);
    EXPECT_EQ(labels.back(), "0");
    // Evenly spaced from the top label down to 0.
    const double step = labels.front().toDouble() / (labels.size() - 1);
    for (qsizetype k = 0; k < labels.size(); ++k) {
      EXPECT_DOUBLE_EQ(labels[k].toDouble(), labels.front().toDouble() - k * step);
    }
    if (i > 0) {
      EXPECT_GT(table[i].bound, table[i - 1].bound);
    }
  }
}

TEST_F(ModuleModelsTest, ScaleShrinksOnlyWhenThePeakLeavesTheHistory) {
  build(true);
  feedPackage(95'000);
  for (int i = 0; i < 349; ++i)
    feedPackage(5'000);
  EXPECT_EQ(power->axisMaxValue(), 100);
  feedPackage(5'000);  // the 95 W sample falls out of the 350 points
  EXPECT_EQ(power->axisMaxValue(), 20);
}

TEST_F(ModuleModelsTest, PowerFiguresByOSGeneration) {
  struct Case {
    const char* what;
    bool os13;
    double resolution;
    plist::Dict processor;
    double cpu, pkg, dram, gpu;
    const char* unreported;  // C, D, G, P: the domains the sample lacks, which still read 0 W
  };
  const std::vector<Case> cases = {
      {"combined power ignores the interval",
       true,
       250,
       {{"combined_power", 14350}, {"cpu_energy", 1200}, {"package_energy", 99999}},
       4.8,
       14.35,
       0,
       0,
       "DG"},
      {"energies over 500 ms",
       false,
       0,
       {{"cpu_energy", 1200},
        {"package_energy", 1500.0},
        {"dram_energy", 100},
        {"gpu_energy", 50},
        {"combined_power", 99999}},
       2.4,
       3.0,
       0.2,
       0.1,
       ""},
      {"non-numbers count as 0",
       false,
       1000,
       {{"cpu_energy", "x"}, {"package_energy", plist::Array{}}, {"gpu_energy", true}},
       0,
       0,
       0,
       0,
       "CDGP"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    defaults->setValue(defaults::kSamplingResolution, c.resolution);
    build(c.os13);
    store->applySample(withProcessor(c.processor));
    EXPECT_DOUBLE_EQ(power->CPUEnergy(), c.cpu);
    EXPECT_DOUBLE_EQ(power->PKGEnergy(), c.pkg);
    EXPECT_DOUBLE_EQ(power->DRAMEnergy(), c.dram);
    EXPECT_DOUBLE_EQ(power->GPUEnergy(), c.gpu);
    using D = ModuleModelPower::Domain;
    for (const auto& [letter, domain] :
         {std::pair{'C', D::CPU}, {'D', D::DRAM}, {'G', D::GPU}, {'P', D::PKG}}) {
      const bool lacking = std::string_view(c.unreported).find(letter) != std::string_view::npos;
      EXPECT_EQ(power->isReported(domain), !lacking) << letter;
      EXPECT_EQ(std::isnan(power->reportedWatts(domain)), lacking) << letter;
    }
  }
}

TEST_F(ModuleModelsTest, HistoriesKeepTheNewest350) {
  build(true);
  for (int i = 1; i <= 351; ++i) {
    store->applySample(
        withProcessor(plist::Dict{{"combined_power", i * 1000.0},
                                  {"clusters", plist::Array{cluster("E-Cluster", i * 1e6)}}}));
  }
  for (const History* h :
       {&power->historicCPU(), &power->historicDRAM(), &power->historicPKG(), &power->historicGPU(),
        &frequency->historicECore(), &frequency->historicPCore(), &frequency->historicGPU()}) {
    EXPECT_EQ(h->size(), 350u);
  }
  EXPECT_EQ(power->historicPKG().front(), 351);
  EXPECT_EQ(power->historicPKG().back(), 2);  // the first sample is gone
  EXPECT_DOUBLE_EQ(frequency->historicECore().front(), 0.351);
  EXPECT_DOUBLE_EQ(frequency->historicECore().back(), 0.002);
}

TEST_F(ModuleModelsTest, FrequencyFigures) {
  build(true);
  struct Case {
    const char* what;
    plist::Value sample;
    double e, p, gpu;
  };
  const std::vector<Case> cases = {
      {"highest performance cluster",
       withProcessor(plist::Dict{{"clusters", plist::Array{cluster("E-Cluster", 2'064'000'000),
                                                           cluster("P0-Cluster", 3'228'000'000.0),
                                                           cluster("P1-Cluster", 600'000'000)}}},
                     plist::Dict{{"gpu", plist::Dict{{"freq_hz", 1398}}}}),
       2.064, 3.228, 1.398},
      {"no GPU entry (sampler not asked for it)",
       withProcessor(plist::Dict{{"clusters", plist::Array{cluster("P-Cluster", 1e9)}}}), 0, 1, 0},
      {"empty sample", plist::Value(plist::Dict{}), 0, 0, 0},
  };
  size_t fed = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    store->applySample(c.sample);
    ++fed;
    EXPECT_DOUBLE_EQ(frequency->ECore(), c.e);
    EXPECT_DOUBLE_EQ(frequency->PCore(), c.p);
    EXPECT_DOUBLE_EQ(frequency->GPU(), c.gpu);
    // The GPU history grows by one value per sample whatever the setting, so all three align.
    EXPECT_EQ(frequency->historicGPU().size(), fed);
    EXPECT_EQ(frequency->historicECore().size(), fed);
  }
  EXPECT_FALSE(defaults->gpuFrequency());
}

TEST_F(ModuleModelsTest, NotificationsClearAndAnnounce) {
  build(true);
  QSignalSpy powerChanged(power.get(), &ModuleModelPower::changed);
  QSignalSpy frequencyChanged(frequency.get(), &ModuleModelFrequency::changed);
  feedPackage(25'000);
  EXPECT_EQ(powerChanged.count(), 0);  // update alone does not announce
  fxtest::drainEvents();               // the store's "UpdateView"
  EXPECT_EQ(powerChanged.count(), 1);
  EXPECT_EQ(frequencyChanged.count(), 1);
  EXPECT_EQ(power->axisMaxValue(), 30);
  EXPECT_FALSE(power->isReported(ModuleModelPower::Domain::CPU));

  NotificationCenter::defaultCenter().post(notifications::kClearData);
  EXPECT_TRUE(power->isReported(ModuleModelPower::Domain::CPU));
  EXPECT_EQ(powerChanged.count(), 2);
  EXPECT_EQ(frequencyChanged.count(), 2);
  EXPECT_EQ(power->PKGEnergy(), 0);
  EXPECT_TRUE(power->historicPKG().empty());
  EXPECT_TRUE(power->historicCPU().empty());
  EXPECT_TRUE(frequency->historicGPU().empty());
  EXPECT_EQ(power->axisMaxValue(), 30);  // the scale waits for the next sample
  EXPECT_EQ(power->axisLabels().front(), "30");
  feedPackage(1'000);
  EXPECT_EQ(power->axisMaxValue(), 20);

  // A destroyed model is no longer an observer.
  power.reset();
  NotificationCenter::defaultCenter().post(notifications::kClearData);
  EXPECT_EQ(frequencyChanged.count(), 3);
}

}  // namespace
