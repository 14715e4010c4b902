// The root model as the application runs it, without a window: the real helper on a scratch
// socket runs the real sampler on a simulated machine, and the test watches what crossed the wire
// and what the models hold.
#include <poll.h>

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "app/core/UserDefaults.h"
#include "app/model/AppDelegate.h"
#include "app/model/ContentModel.h"
#include "app/model/GeneralModel.h"
#include "integration/helper/HelperHarness.h"
#include "shared/xpc/Socket.h"
#include "unit/core/PostCounter.h"
#include "unit/core/QtApp.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// macOS 13 (the combined power figure) and two performance clusters.
const std::string kProfile = FERROLUX_SOURCE_DIR "/data/profiles/macbookpro-m2pro.plist";
const std::string kSysfs = FERROLUX_FIXTURES_DIR "/sysfs/vm-minimal";
const std::string kIntelProfile = FERROLUX_SOURCE_DIR "/data/profiles/macbookpro-intel.plist";

// The helper's tools folder: the real sampler behind a script that points it at the simulated
// machine (the helper passes it almost no environment), notes the time and arguments of every
// run, and keeps each run's document for the test to compare with.
struct SamplerTools {
  fs::path dir;
  explicit SamplerTools(const fs::path& root, const std::string& profile = kProfile)
      : dir(root / "tools") {
    harness::writeFile(dir / "powermetrics",
                       "#!/bin/sh\n"
                       "dir=$(dirname \"$0\")\n"
                       "stamp=$(date +%s%N)\n"
                       "echo \"$stamp $*\" >> \"$dir/requests\"\n"
                       "FERROLUX_SYSFS_ROOT='" +
                           kSysfs + "' FERROLUX_SIM_PROFILE='" + profile +
                           "' FERROLUX_SIM_SEED=$stamp '" POWERMETRICS_PROGRAM
                           "' \"$@\" > \"$dir/doc-$stamp.part\"\n"
                           "rc=$?\n"
                           "cat \"$dir/doc-$stamp.part\"\n"
                           "mv \"$dir/doc-$stamp.part\" \"$dir/doc-$stamp\"\n"
                           "exit $rc\n");
    fs::permissions(dir / "powermetrics", fs::perms::owner_all);
  }

  struct Request {
    std::chrono::system_clock::time_point at;
    std::string args;
  };
  std::vector<Request> requests() const {
    std::vector<Request> out;
    std::istringstream in(harness::readFile(dir / "requests"));
    for (std::string line; std::getline(in, line);) {
      const auto space = line.find(' ');
      const auto ns = std::chrono::nanoseconds(std::stoll(line.substr(0, space)));
      out.push_back({std::chrono::system_clock::time_point(
                         std::chrono::duration_cast<std::chrono::system_clock::duration>(ns)),
                     line.substr(space + 1)});
    }
    return out;
  }

  // The documents of the finished runs, oldest first.
  std::vector<plist::Value> documents() const {
    std::map<std::string, fs::path> byStamp;  // equal-length stamps sort by time
    for (const auto& e : fs::directory_iterator(dir)) {
      const std::string name = e.path().filename().string();
      if (name.starts_with("doc-") && !name.ends_with(".part")) byStamp[name] = e.path();
    }
    std::vector<plist::Value> out;
    for (const auto& [name, path] : byStamp) {
      auto parsed = plist::parse(harness::readFile(path));
      out.push_back(parsed.ok() ? std::move(*parsed.value) : plist::Value());
    }
    return out;
  }
};

// What a document should become in the models, worked out from the document directly.
struct Expected {
  double pkg, cpu, gpuPower, dram, eCore, pCore, gpuFrequency;
};

Expected expectedFrom(const plist::Value& doc, double msSampling) {
  auto num = [](const plist::Value& v) { return v.number().value_or(0); };
  const plist::Value& p = doc["processor"];
  Expected e{num(p["combined_power"]) / 1000,
             num(p["cpu_energy"]) / msSampling,
             num(p["gpu_energy"]) / msSampling,
             num(p["dram_energy"]) / msSampling,
             0,
             0,
             num(doc["gpu"]["freq_hz"]) / 1000};
  for (size_t i = 0; i < p["clusters"].size(); ++i) {
    const plist::Value& c = p["clusters"][i];
    const std::string name = c["name"].string() ? *c["name"].string() : "";
    double& best = name.starts_with("E") ? e.eCore : e.pCore;
    best = std::max(best, num(c["freq_hz"]) / 1e9);
  }
  return e;
}

class RootModelTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fxtest::coreApp();
    fxtest::drainEvents();
    endpoint = scratch.path / "h.sock";
    ::setenv("FERROLUX_HELPER_ENDPOINT", endpoint.c_str(), 1);
    defaults = std::make_unique<UserDefaults>(QString::fromStdString(scratch.path / "d.ini"));
    // The shortest sample, so replies come back well inside each one-second tick.
    defaults->setValue(defaults::kSamplingResolution, 100.0);
    defaults->setValue(defaults::kGPUFrequency, true);
  }

  std::unique_ptr<GeneralModel> makeModel(const std::string& profile) {
    auto created = platform::create("sim:" + profile);
    EXPECT_TRUE(created.platform) << created.error;
    machine = std::move(created.platform);
    GeneralModel::Environment env;
    env.platform = machine.get();
    env.defaults = defaults.get();
    env.locations = helperlink::HelperLocations(harness::HelperProcess::kExecutable);
    return std::make_unique<GeneralModel>(std::move(env));
  }

  harness::ScratchDir scratch;
  fs::path endpoint;
  std::unique_ptr<UserDefaults> defaults;
  std::unique_ptr<platform::Platform> machine;
};

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

  // Nobody presses anything: the start-up check alone authorizes.
  ASSERT_TRUE(fxtest::pumpUntil([&] { return model->xpcmanager().isAuthorized(); }, 5000))
      << helper.log();
  const auto authorizedAt = std::chrono::system_clock::now();
  EXPECT_FALSE(model->xpcmanager().isUpdateNeeded());

  // At once, then a second apart. Wait for three replies rather than a fixed time, so a loaded
  // machine slows the test down instead of failing it, then stop the timer and let the runs in
  // flight land.
  ASSERT_TRUE(fxtest::pumpUntil([&] { return views.count >= 3; }, 10000)) << helper.log();
  model->modelPowerMetrics().stopSampling();
  fxtest::pumpUntil(
      [&] {
        return tools.documents().size() == tools.requests().size() &&
               views.count == static_cast<int>(tools.documents().size());
      },
      5000);
  const auto requests = tools.requests();
  ASSERT_GE(requests.size(), 3u);
  const auto first = requests.front().at;
  EXPECT_LT(first - authorizedAt, 1000ms);
  for (size_t i = 1; i < requests.size(); ++i) {
    // Never faster than the timer (a second timer would halve the gap), and no tick lost.
    const auto gap = requests[i].at - requests[i - 1].at;
    EXPECT_GT(gap, 800ms) << i;
    EXPECT_LT(gap, 2000ms) << i;
  }
  for (const auto& r : requests)
    EXPECT_EQ(r.args, "-n 1 -i 100 --samplers cpu_power,gpu_power -f plist");

  // One "UpdateView" per reply, and histories that are the documents, newest first.
  const auto docs = tools.documents();
  ASSERT_EQ(docs.size(), requests.size());
  EXPECT_EQ(views.count, static_cast<int>(docs.size()));
  EXPECT_GE(contentChanges, 1);
  const ModuleModelPower& power = model->modelPower();
  const ModuleModelFrequency& frequency = model->modelFrequency();
  ASSERT_EQ(power.historicPKG().size(), docs.size());
  ASSERT_EQ(frequency.historicGPU().size(), docs.size());
  for (size_t age = 0; age < docs.size(); ++age) {
    SCOPED_TRACE(age);
    const Expected e = expectedFrom(docs[docs.size() - 1 - age], 100);
    EXPECT_GT(e.pkg, 0);
    EXPECT_GT(e.pCore, 0);
    EXPECT_GT(e.gpuFrequency, 0);
    EXPECT_DOUBLE_EQ(power.historicPKG()[age], e.pkg);
    EXPECT_DOUBLE_EQ(power.historicCPU()[age], e.cpu);
    EXPECT_DOUBLE_EQ(power.historicGPU()[age], e.gpuPower);
    EXPECT_DOUBLE_EQ(power.historicDRAM()[age], e.dram);
    EXPECT_DOUBLE_EQ(frequency.historicECore()[age], e.eCore);
    EXPECT_DOUBLE_EQ(frequency.historicPCore()[age], e.pCore);
    EXPECT_DOUBLE_EQ(frequency.historicGPU()[age], e.gpuFrequency);
  }
  EXPECT_DOUBLE_EQ(power.PKGEnergy(), power.historicPKG().front());
  EXPECT_DOUBLE_EQ(frequency.PCore(), frequency.historicPCore().front());

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
    fxtest::pumpUntil([&] { return views.count == static_cast<int>(tools.requests().size()); },
                      5000);

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

TEST_F(RootModelTest, WithoutAHelperNothingIsRequested) {
  fxtest::PostCounter views(notifications::kUpdateView);
  auto model = makeModel(kProfile);
  auto content = ContentModel::create(*model);
  // Longer than a tick: a store that had started would have asked by now.
  fxtest::pumpUntil([] { return false; }, 1200);
  EXPECT_FALSE(model->xpcmanager().isAuthorized());
  EXPECT_FALSE(model->xpcmanager().isUpdateNeeded());
  EXPECT_FALSE(model->modelPowerMetrics().isSampling());
  EXPECT_EQ(views.count, 0);
  EXPECT_TRUE(model->modelPower().historicPKG().empty());
}

// On a processor the platform cannot sample, the helper is not even connected to, until the
// application quits and tells it to close.
TEST_F(RootModelTest, RefusedProcessorNeverContactsTheHelper) {
  const xpc::UniqueFd listener = xpc::listenUnix(endpoint.string());
  ASSERT_TRUE(listener.valid());
  auto pending = [&] {
    pollfd p{listener.get(), POLLIN, 0};
    return ::poll(&p, 1, 0) == 1;
  };
  fxtest::PostCounter views(notifications::kUpdateView);
  auto model = makeModel(kIntelProfile);
  EXPECT_NE(model->processorType(), "ARM");
  auto content = ContentModel::create(*model);
  fxtest::pumpUntil([] { return false; }, 1200);
  EXPECT_FALSE(pending());
  EXPECT_FALSE(model->modelPowerMetrics().isSampling());
  EXPECT_EQ(views.count, 0);

  AppDelegate delegate(*QCoreApplication::instance(),
                       [&] { model->xpcmanager().client().sendCloseHelper(); });
  QTimer::singleShot(0, [] { QCoreApplication::quit(); });
  QCoreApplication::exec();
  EXPECT_TRUE(pending());
}

}  // namespace
