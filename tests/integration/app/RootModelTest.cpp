// The root model as the application runs it, without a window: the real helper on a scratch
// socket runs the real sampler on a simulated machine, and the test watches what crossed the wire
// and what the models hold.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTimer>

#include <chrono>

#include "app/model/AppDelegate.h"
#include "app/model/ContentModel.h"
#include "integration/app/RootModelFixture.h"
#include "unit/core/Numbers.h"
#include "unit/core/PostCounter.h"

namespace rootmodel {
TEST_F(RootModelTest, CurrentHelperSamplesOnceASecondFromStartUp) {
  SamplerTools tools(scratch.path);
  harness::HelperProcess helper(scratch.path, {"--tools-dir", tools.dir.string(), "--nice-path",
                                               FERROLUX_FIXTURES_DIR "/helper/nice"});
  ASSERT_TRUE(helper.ready()) << helper.log();
  fxtest::drainEvents();

  fxtest::PostCounter views(notifications::kUpdateView);
  auto model = makeModel(kProfile);
  auto content = ContentModel::create(*model);
  int contentChanges = 0;
  QObject::connect(content.get(), &ContentModel::changed, [&] { ++contentChanges; });

  // Requests are counted as the store sends them, in this process, and timed against this
  // process's own clock: the helper's and the sampler's start-up delays never enter.
  SGPowerMetrics& store = model->modelPowerMetrics();
  countRequests(*model);
  const auto began = std::chrono::steady_clock::now();

  // Nobody presses anything: the start-up check alone authorizes.
  ASSERT_TRUE(fxtest::pumpUntil([&] { return model->xpcmanager().isAuthorized(); }, 20000))
      << helper.log();
  EXPECT_FALSE(model->xpcmanager().isUpdateNeeded());

  // Wait for three replies rather than a fixed time, so a loaded machine slows the test down
  // instead of failing it, then stop the timer and let the runs in flight land.
  ASSERT_TRUE(fxtest::pumpUntil([&] { return views.count >= 3; }, 20000)) << helper.log();
  store.stopSampling();
  const auto stopped = std::chrono::steady_clock::now();
  ASSERT_TRUE(fxtest::pumpUntil(
      [&] { return views.count == sent && static_cast<int>(tools.documents().size()) == sent; },
      20000))
      << views.count << " of " << sent << "\n"
      << helper.log();
  // One request at once, then one per tick: a timer never fires early, so a second timer is
  // the only way to send more than one request per elapsed second beyond the first.
  const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(stopped - began);
  EXPECT_LE(sent, 1 + elapsed.count() / SGPowerMetrics::kTimerIntervalMs) << elapsed.count();
  const auto requests = tools.requests();
  ASSERT_EQ(static_cast<int>(requests.size()), sent);
  for (const auto& r : requests)
    EXPECT_EQ(r, "-n 1 -i 100 --samplers cpu_power,gpu_power -f plist");

  // One "UpdateView" per reply, and histories that are the documents, newest first.
  const auto docs = tools.documents();
  ASSERT_EQ(docs.size(), requests.size());
  EXPECT_EQ(views.count, static_cast<int>(docs.size()));
  EXPECT_GE(contentChanges, 1);
  const ModuleModelPower& power = model->modelPower();
  const ModuleModelFrequency& frequency = model->modelFrequency();
  ASSERT_EQ(power.historicPKG().size(), docs.size());
  ASSERT_EQ(frequency.historicGPU().size(), docs.size());
  // Each history holds its documents' figures in their order, newest first: with every run on
  // its own seed the figures differ, so an entry from another document breaks the proportion.
  auto num = [](const plist::Value& v) { return v.number().value_or(0); };
  const auto& newest = docs.back();
  for (size_t age = 0; age < docs.size(); ++age) {
    SCOPED_TRACE(age);
    const plist::Value& doc = docs[docs.size() - 1 - age];
    EXPECT_GT(power.historicPKG()[age], 0);
    EXPECT_DOUBLE_EQ(power.historicPKG()[age] * num(newest["processor"]["combined_power"]),
                     power.historicPKG().front() * num(doc["processor"]["combined_power"]));
    EXPECT_DOUBLE_EQ(frequency.historicGPU()[age] * num(newest["gpu"]["freq_hz"]),
                     frequency.historicGPU().front() * num(doc["gpu"]["freq_hz"]));
  }
  EXPECT_DOUBLE_EQ(power.PKGEnergy(), power.historicPKG().front());
  EXPECT_DOUBLE_EQ(frequency.PCore(), frequency.historicPCore().front());

  // The row the CSV and the exporter write takes each column from its own model figure. The
  // figures of a pair that could be swapped differ here, so a swap shows.
  const ModuleModelTemperature& temperature = model->modelTemperature();
  const ModuleModelUtilization& utilization = model->modelUtilization();
  ASSERT_NE(frequency.ECore(), frequency.PCore());
  ASSERT_LT(temperature.CPUMin(), temperature.CPUMax());
  ASSERT_NE(power.PKGEnergy(), power.CPUEnergy());
  ASSERT_LT(utilization.eutilization(), utilization.putilization());
  const LogRowValues row = model->logRowValues();
  const struct {
    const char* column;
    double row, model;
  } columns[] = {
      {"package power", row.pkgPower, power.PKGEnergy()},
      {"CPU power", row.cpuPower, power.CPUEnergy()},
      {"DRAM power", row.dramPower, power.DRAMEnergy()},
      {"GPU power", row.gpuPower, power.GPUEnergy()},
      {"E-core frequency", row.eCoreFrequency, frequency.ECore()},
      {"P-core frequency", row.pCoreFrequency, frequency.PCore()},
      {"GPU frequency", row.gpuFrequency, frequency.GPU()},
      {"CPU minimum", row.cpuMinTemperature, temperature.CPUMin()},
      {"CPU average", row.cpuAvgTemperature, temperature.CPUAvg()},
      {"CPU maximum", row.cpuMaxTemperature, temperature.CPUMax()},
      {"GPU temperature", row.gpuAvgTemperature, temperature.GPUAvg()},
      {"utilization", row.utilization, utilization.utilization()},
      {"E utilization", row.eutilization, utilization.eutilization()},
      {"P utilization", row.putilization, utilization.putilization()},
      {"GPU utilization", row.utilizationGPU, utilization.utilizationGPU()},
  };
  for (const auto& c : columns)
    fxtest::expectNear(c.row, c.model, 0, c.column);

  // Quitting tells the helper to close, and it does.
  AppDelegate delegate(*QCoreApplication::instance(),
                       [&] { model->xpcmanager().client().sendCloseHelper(); });
  QTimer::singleShot(0, [] { QCoreApplication::quit(); });
  QCoreApplication::exec();
  EXPECT_EQ(helper.waitExit(5s), 0) << helper.log();
}

// Both temperature sources, run by the store once per reply: the SMC path with the "M2" rule and
// the HID path of a first-generation machine.
TEST_F(RootModelTest, TemperatureHistoriesGrowOncePerReply) {
  const std::pair<const char*, const char*> machines[] = {{"macbookpro-m2pro", "SMC"},
                                                          {"macmini-m1", "PMU"}};
  for (auto [name, source] : machines) {
    SCOPED_TRACE(name);
    const std::string profile =
        FERROLUX_SOURCE_DIR "/data/profiles/" + std::string(name) + ".plist";
    harness::ScratchDir run;
    ::setenv("FERROLUX_HELPER_ENDPOINT", (run.path / "h.sock").c_str(), 1);
    SamplerTools tools(run.path, profile);
    harness::HelperProcess helper(run.path, {"--tools-dir", tools.dir.string(), "--nice-path",
                                             FERROLUX_FIXTURES_DIR "/helper/nice"});
    ASSERT_TRUE(helper.ready()) << helper.log();
    fxtest::drainEvents();

    fxtest::PostCounter views(notifications::kUpdateView);
    auto model = makeModel(profile);
    const ModuleModelTemperature& t = model->modelTemperature();
    int changes = 0;
    QObject::connect(&t, &ModuleModelTemperature::changed, [&] { ++changes; });
    auto content = ContentModel::create(*model);
    ASSERT_TRUE(fxtest::pumpUntil([&] { return views.count >= 2; }, 10000)) << helper.log();
    model->modelPowerMetrics().stopSampling();
    ASSERT_TRUE(fxtest::pumpUntil(
        [&] { return views.count == static_cast<int>(tools.requests().size()); }, 5000))
        << views.count << " replies to " << tools.requests().size() << " requests";

    EXPECT_EQ(model->modelTemperature().sensorTmp().sensorType(), source);
    const auto n = static_cast<size_t>(views.count.load());
    for (const History* h :
         {&t.historicCPUMin(), &t.historicCPUMax(), &t.historicCPUAvg(), &t.historicGPUAvg()})
      EXPECT_EQ(h->size(), n);
    EXPECT_GE(changes, views.count.load());
    for (size_t i = 0; i < n; ++i) {
      SCOPED_TRACE(i);
      EXPECT_GE(t.historicCPUMin()[i], 20.0);  // the M2 rule leaves no reading below 20 °C
      EXPECT_LE(t.historicCPUMin()[i], t.historicCPUAvg()[i]);
      EXPECT_LE(t.historicCPUAvg()[i], t.historicCPUMax()[i]);
      EXPECT_GT(t.historicGPUAvg()[i], 10.0);
    }
    EXPECT_DOUBLE_EQ(t.CPUAvg(), t.historicCPUAvg().front());
    content.reset();
    model.reset();
    fxtest::drainEvents();
  }
}

}  // namespace rootmodel
