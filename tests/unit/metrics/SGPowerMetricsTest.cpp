#include "app/metrics/SGPowerMetrics.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <QThread>

#include <cmath>
#include <thread>

#include "app/core/UserDefaults.h"
#include "unit/core/PostCounter.h"
#include "unit/core/QtApp.h"
#include "unit/metrics/SampleBuilders.h"

namespace {

class SGPowerMetricsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fxtest::coreApp();
    fxtest::drainEvents();
    ASSERT_TRUE(dir.isValid());
    defaults = std::make_unique<UserDefaults>(dir.filePath("defaults.ini"));
  }
  std::unique_ptr<SGPowerMetrics> makeStore() {
    auto store = std::make_unique<SGPowerMetrics>(true, *defaults);
    store->setHelperLink({[this](double ms, bool gpu) {
                            requests.push_back({ms, gpu});
                          },
                          [this] { return authorized; }});
    return store;
  }
  QTemporaryDir dir;
  std::unique_ptr<UserDefaults> defaults;
  std::vector<std::pair<double, bool>> requests;
  bool authorized = true;
};

TEST_F(SGPowerMetricsTest, SamplingResolutionRule) {
  const std::vector<std::pair<double, double>> cases = {
      {0, 500},     {50, 100}, {99.9, 100}, {100, 100}, {250, 250},
      {5000, 5000}, {-1, 100}, {-500, 100}, {NAN, 100},
  };
  for (const auto& [stored, expected] : cases) {
    SCOPED_TRACE(stored);
    EXPECT_EQ(SGPowerMetrics::intervalForResolution(stored), expected);
  }
  auto store = makeStore();
  EXPECT_EQ(store->msSampling(), 500);  // key missing
  defaults->setValue(defaults::kSamplingResolution, 50.0);
  EXPECT_EQ(store->msSampling(), 100);
  defaults->setValue(defaults::kSamplingResolution, QStringLiteral("garbage"));
  EXPECT_EQ(store->msSampling(), 500);
}

TEST_F(SGPowerMetricsTest, ClearDataIsPostedOnMainOnlyWhenTheIntervalChanges) {
  auto store = makeStore();
  fxtest::PostCounter clears(notifications::kClearData);
  struct Step {
    const char* what;
    std::function<void()> write;
    int clearsAfter;
  };
  const std::vector<Step> steps = {
      {"250 from 500", [&] { defaults->setValue(defaults::kSamplingResolution, 250.0); }, 1},
      {"250 again", [&] { defaults->setValue(defaults::kSamplingResolution, 250.0); }, 1},
      {"GPU switch alone", [&] { defaults->setValue(defaults::kGPUFrequency, true); }, 1},
      {"40 then 60: both give 100",
       [&] {
         defaults->setValue(defaults::kSamplingResolution, 40.0);
         defaults->setValue(defaults::kSamplingResolution, 60.0);
       },
       2},
      {"removed: back to 500", [&] { defaults->remove(defaults::kSamplingResolution); }, 3},
  };
  for (const auto& s : steps) {
    SCOPED_TRACE(s.what);
    s.write();
    fxtest::drainEvents();
    EXPECT_EQ(clears.count, s.clearsAfter);
  }
  EXPECT_TRUE(store->includeGPU());
}

TEST_F(SGPowerMetricsTest, StoredResolutionAtConstructionPostsOneClearAsynchronously) {
  defaults->setValue(defaults::kSamplingResolution, 1000.0);
  fxtest::PostCounter clears(notifications::kClearData);
  auto store = makeStore();
  EXPECT_EQ(store->msSampling(), 1000);
  EXPECT_EQ(clears.count, 0);
  fxtest::drainEvents();
  EXPECT_EQ(clears.count, 1);
}

TEST_F(SGPowerMetricsTest, ReplyCycle) {
  auto store = makeStore();
  std::vector<std::string> order;
  using Step = SGPowerMetrics::Step;
  // Registered out of order on purpose: the store runs them in its own fixed order.
  store->setModuleUpdate(Step::LogRow, [&] { order.push_back("log"); });
  store->setModuleUpdate(Step::Frequency, [&] { order.push_back("frequency"); });
  store->setModuleUpdate(Step::Power, [&] { order.push_back("power"); });
  store->setModuleUpdate(Step::Temperature, [&] { order.push_back("temperature"); });
  store->setModuleUpdate(Step::Utilization, [&] { order.push_back("utilization"); });
  const std::vector<std::string> fullCycle = {"power", "utilization", "frequency", "temperature",
                                              "log"};
  fxtest::PostCounter views(notifications::kUpdateView);

  const std::string good = fxtest::readFixture("m1pro-os13-gpu-sample.plist");
  store->receiveSample(good);
  EXPECT_EQ(order, fullCycle);
  EXPECT_EQ(views.count, 0);  // posted later, from the main loop
  fxtest::drainEvents();
  EXPECT_EQ(views.count, 1);
  EXPECT_EQ(store->clusterFrequencies().at("P-Cluster"), 3228);

  // No payload: the previous sample stays and nothing runs.
  order.clear();
  store->receiveSample(std::nullopt);
  fxtest::drainEvents();
  EXPECT_TRUE(order.empty());
  EXPECT_EQ(views.count, 1);
  EXPECT_EQ(store->clusterFrequencies().at("P-Cluster"), 3228);

  // Bytes that are not a dictionary document: an empty sample and still a full cycle.
  for (const char* bad :
       {"", "not a plist", "<plist><array/></plist>", "<plist><dict><key>a</key></dict>"}) {
    SCOPED_TRACE(bad);
    order.clear();
    store->receiveSample(std::string_view(bad));
    fxtest::drainEvents();
    EXPECT_EQ(order, fullCycle);
    EXPECT_TRUE(store->data().isDict());
    EXPECT_EQ(store->data().size(), 0u);
    EXPECT_TRUE(store->powerValues().empty());
  }
  EXPECT_EQ(views.count, 5);

  // Not authorized: the sample is stored but the models are left alone.
  authorized = false;
  order.clear();
  store->receiveSample(good);
  fxtest::drainEvents();
  EXPECT_TRUE(order.empty());
  EXPECT_EQ(views.count, 5);
  EXPECT_GT(store->data().size(), 0u);
}

TEST_F(SGPowerMetricsTest, ReplyFromAnotherThreadIsAppliedOnTheMainThread) {
  auto store = makeStore();
  QThread* ranOn = nullptr;
  store->setModuleUpdate(SGPowerMetrics::Step::Power, [&] { ranOn = QThread::currentThread(); });
  const std::string good = fxtest::readFixture("m1-os12-sample.plist");
  std::thread reply([&] { store->receiveSample(good); });
  reply.join();
  EXPECT_EQ(ranOn, nullptr);
  ASSERT_TRUE(fxtest::pumpUntil([&] { return ranOn != nullptr; }));
  EXPECT_EQ(ranOn, QCoreApplication::instance()->thread());
  EXPECT_EQ(store->clusterCPUs().at("E-Cluster"), (std::vector<int64_t>{0, 1, 2, 3}));
}

TEST_F(SGPowerMetricsTest, ReplyQueuedForADestroyedStoreIsDropped) {
  auto store = makeStore();
  fxtest::PostCounter views(notifications::kUpdateView);
  std::thread reply([&] { store->receiveSample("<plist><dict/></plist>"); });
  reply.join();
  store.reset();
  fxtest::drainEvents();
  EXPECT_EQ(views.count, 0);
}

TEST_F(SGPowerMetricsTest, AuthorizationStartsAndStopsSampling) {
  defaults->setValue(defaults::kGPUFrequency, true);
  defaults->setValue(defaults::kSamplingResolution, 250.0);
  auto store = makeStore();
  store->setAuthorized(true);
  store->setAuthorized(true);     // a second grant queued before the first ran
  EXPECT_TRUE(requests.empty());  // scheduled on the main loop
  fxtest::drainEvents();
  ASSERT_EQ(requests.size(), 1u);  // one request at once
  EXPECT_EQ(requests[0], (std::pair<double, bool>{250, true}));
  EXPECT_TRUE(store->isSampling());
  EXPECT_TRUE(store->isAuthorized());

  store->setAuthorized(true);  // already running: no second timer, no extra request
  fxtest::drainEvents();
  EXPECT_EQ(requests.size(), 1u);

  store->setAuthorized(false);
  fxtest::drainEvents();
  EXPECT_FALSE(store->isSampling());
  EXPECT_FALSE(store->isAuthorized());

  // The uninstall path drops the timer but keeps the authorization record.
  store->setAuthorized(true);
  fxtest::drainEvents();
  store->stopSampling();
  EXPECT_TRUE(store->isAuthorized());
  EXPECT_FALSE(store->isSampling());
}

// The last word queued wins, however quickly the words follow each other: a loss of the helper
// reported just before it is found again must not leave sampling stopped.
TEST_F(SGPowerMetricsTest, TheLastAuthorizationQueuedDecidesWhetherSamplingRuns) {
  struct Case {
    const char* what;
    bool stopFirst;  // the uninstall path's stop before the words
    std::vector<bool> words;
    bool sampling;
  };
  const Case cases[] = {
      {"lost, then found before the loss ran", false, {false, true}, true},
      {"found, lost, found", false, {true, false, true}, true},
      {"lost for good", false, {true, false}, false},
      {"found again after the uninstall path stopped the timer", true, {true}, true},
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(k.what);
    auto store = makeStore();
    store->setAuthorized(true);
    fxtest::drainEvents();
    ASSERT_TRUE(store->isSampling());
    if (k.stopFirst) store->stopSampling();
    for (bool w : k.words)
      store->setAuthorized(w);
    fxtest::drainEvents();
    EXPECT_EQ(store->isSampling(), k.sampling);
    EXPECT_EQ(store->isAuthorized(), k.words.back());
  }
}

TEST_F(SGPowerMetricsTest, TimerKeepsRequestingAndRequestsHonourTheManager) {
  auto store = makeStore();
  store->startSampling();
  EXPECT_EQ(requests.size(), 1u);
  ASSERT_TRUE(fxtest::pumpUntil([&] { return requests.size() >= 2; }));
  const size_t before = requests.size();
  authorized = false;  // e.g. an uninstall was requested
  store->requestSample();
  EXPECT_EQ(requests.size(), before);
  store->stopSampling();
}

}  // namespace
