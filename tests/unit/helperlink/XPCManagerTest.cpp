// The manager and its link against an in-process stand-in helper: start-up check, install,
// loss of the helper, result delivery, and events of connections that were already dropped.
#include "app/helperlink/XPCManager.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <QThreadPool>

#include <atomic>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "app/core/Dispatch.h"
#include "app/core/UserDefaults.h"
#include "unit/core/QtApp.h"
#include "unit/helperlink/FakeHelper.h"
#include "unit/helperlink/LinkTestSupport.h"

namespace {

using namespace linktest;
using helperlink::XPCManager;
using xpc::Message;

constexpr const char* kInterruptedLog =
    "[XPCTEST] XPCClient: connection has been interrupted XPCTEST\n";
constexpr const char* kInvalidatedLog =
    "[XPCTEST] XPCClient: connection has been invalidated XPCTEST\n";
constexpr const char* kInterruptedOut = "connetionInterruptionHandler\n";
constexpr const char* kInvalidatedOut = "connectionInvalidationHandler\n";

class ManagerTest : public ManagerFixture {
 protected:
  void SetUp() override {
    ManagerFixture::SetUp();
    socket = dir.filePath("h.sock").toStdString();
    endpoint.emplace(socket);
  }

  std::string socket;
  std::optional<EndpointOverride> endpoint;
};

TEST_F(ManagerTest, ObservesTheInstallNotificationsOnlyOnARM) {
  auto& center = NotificationCenter::defaultCenter();
  const size_t did = center.observerCount(notifications::kXPCDidInstall);
  const size_t error = center.observerCount(notifications::kXPCInstallError);
  for (const auto& [cpu, observes] : std::vector<std::pair<std::string, bool>>{
           {"ARM", true}, {"x86", false}, {"arm", false}, {"ARM64", false}, {"", false}}) {
    SCOPED_TRACE(cpu);
    make(cpu);
    EXPECT_EQ(center.observerCount(notifications::kXPCDidInstall), did + observes);
    EXPECT_EQ(center.observerCount(notifications::kXPCInstallError), error + observes);
    ::testing::internal::CaptureStdout();
    manager.reset();
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "DEINIT XPCManager\n");
    EXPECT_EQ(center.observerCount(notifications::kXPCDidInstall), did);
  }
}

// Exact comparison of the helper's answer with the version of the application's copy.
TEST_F(ManagerTest, StartupComparesVersionsExactly) {
  const std::string copy13 =
      patchedHelper(dirPath(), "copy13", reportsVersion13().from, reportsVersion13().to);
  const std::string copyNoKey =
      patchedHelper(dirPath(), "copyNoKey", lacksVersionKey().from, lacksVersionKey().to);
  ASSERT_FALSE(copy13.empty());
  ASSERT_FALSE(copyNoKey.empty());
  struct Case {
    std::string reported;
    std::string copy;
    bool match;
  };
  const std::vector<Case> cases{
      {"1.4", kHelperExe, true},
      {"1.3", kHelperExe, false},
      {"1.4.0", kHelperExe, false},
      {"0", kHelperExe, false},
      {"", kHelperExe, false},
      {"1.4", dirPath() + "/missing", false},
      {"1.3", copy13, true},
      // A copy without a version has none to offer, not "0".
      {"0", copyNoKey, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.reported + " vs " + c.copy);
    FakeHelper helper(socket);
    helper.setVersion(c.reported);
    PostCounter clears(notifications::kClearData);
    make("ARM", {}, c.copy);
    ASSERT_TRUE(manager->checkHelperAtStartup());
    ASSERT_TRUE(fxtest::pumpUntil([&] {
      return c.match ? store->isSampling() && helper.count(Message::RequestPowermetrics) == 1
                     : manager->isUpdateNeeded() && content->refreshes > 0;
    }));
    fxtest::drainEvents();
    EXPECT_EQ(manager->isAuthorized(), c.match);
    EXPECT_EQ(manager->isUpdateNeeded(), !c.match);
    EXPECT_FALSE(manager->isRequestedToUninstall());
    EXPECT_EQ(clears.count, 0);
    // One connection carries the probe, the version request and, once authorized, the samples.
    EXPECT_TRUE(manager->client().hasConnection());
    EXPECT_EQ(helper.connections(), 1);
    std::vector<Message> expected{Message::IsResponding, Message::GetVersion};
    if (c.match) expected.push_back(Message::RequestPowermetrics);
    std::vector<Message> seen;
    for (const auto& call : helper.calls())
      seen.push_back(call.message);
    EXPECT_EQ(seen, expected);
    manager.reset();
    store->stopSampling();
  }
}

TEST_F(ManagerTest, UnansweredStartupChangesNothing) {
  for (bool helperRefuses : {false, true}) {
    SCOPED_TRACE(helperRefuses ? "refused" : "nobody listening");
    std::optional<FakeHelper> helper;
    if (helperRefuses) {
      helper.emplace(socket);
      helper->setRefusing(true);
    }
    PostCounter errors(notifications::kXPCInstallError);
    PostCounter clears(notifications::kClearData);
    make();
    EndingWatch watch;
    manager->client().setConnector(watch.connector());
    ::testing::internal::CaptureStdout();
    ::testing::internal::CaptureStderr();
    manager->checkHelperAtStartup();
    const bool ended = fxtest::pumpUntil([&] { return watch.ended() == 1; });
    fxtest::drainEvents();
    const std::string out = ::testing::internal::GetCapturedStdout();
    const std::string log = ::testing::internal::GetCapturedStderr();
    ASSERT_TRUE(ended);
    EXPECT_EQ(out, kInvalidatedOut);
    EXPECT_EQ(occurrences(log, kInvalidatedLog), 1);
    EXPECT_FALSE(manager->isAuthorized());
    EXPECT_FALSE(manager->isUpdateNeeded());
    EXPECT_FALSE(manager->isRequestedToUninstall());
    EXPECT_EQ(errors.count, 0);
    EXPECT_EQ(clears.count, 0);
    EXPECT_EQ(content->refreshes, 0);
    manager.reset();
  }
}

TEST_F(ManagerTest, InstallOutcomes) {
  enum class Helper { Yes, No, Absent };
  struct Case {
    const char* name;
    int authorizeStatus;
    bool blessResult;
    Helper helper;
    int blessCalls, errors, didInstalls;
    bool authorized, updateNeeded;
    const char* log;
  };
  const std::vector<Case> cases{
      {"authorization refused", 7, true, Helper::Yes, 0, 0, 0, false, true,
       "[PWMJBS]: Authorization failed with status code 7\n"},
      {"negative status", -60005, true, Helper::Yes, 0, 0, 0, false, true,
       "[PWMJBS]: Authorization failed with status code -60005\n"},
      {"installed and answering", 0, true, Helper::Yes, 1, 0, 1, true, false, ""},
      {"installed, answers NO", 0, true, Helper::No, 1, 0, 0, false, true, ""},
      {"bless failed, nobody answers", 0, false, Helper::Absent, 1, 1, 0, false, true,
       kInvalidatedLog},
      // The probe runs after a failed bless too; a helper that answers counts as installed.
      {"bless failed, helper answers", 0, false, Helper::Yes, 1, 1, 1, true, false, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    installs = std::make_shared<FakeInstaller::Record>();
    std::optional<FakeHelper> helper;
    if (c.helper != Helper::Absent) {
      helper.emplace(socket);
      helper->setResponding(c.helper == Helper::Yes);
    }
    PostCounter errors(notifications::kXPCInstallError);
    PostCounter did(notifications::kXPCDidInstall);
    make("ARM",
         {.authorizeStatus = c.authorizeStatus, .blessResult = c.blessResult, .onBless = {}});
    EndingWatch watch;
    manager->client().setConnector(watch.connector());
    manager->setUpdateNeeded(true);
    ::testing::internal::CaptureStderr();
    manager->installHelper();
    // The probe's reply, or the connection's end, drops the connection; an authorized manager
    // then starts sampling over a new one.
    const bool settled = fxtest::pumpUntil([&] {
      if (helper && c.blessCalls > 0 && helper->count(Message::IsResponding) == 0) return false;
      if (!helper && watch.ended() == 0) return false;
      return c.authorized ? store->isSampling() : !manager->client().hasConnection();
    });
    fxtest::drainEvents();
    const std::string log = ::testing::internal::GetCapturedStderr();
    ASSERT_TRUE(settled);
    EXPECT_EQ(installs->authorizeCalls, 1);
    EXPECT_EQ(installs->blessCalls, c.blessCalls);
    EXPECT_EQ(errors.count, c.errors);
    EXPECT_EQ(did.count, c.didInstalls);
    EXPECT_EQ(manager->isAuthorized(), c.authorized);
    EXPECT_EQ(manager->isUpdateNeeded(), c.updateNeeded);
    EXPECT_EQ(store->isSampling(), c.authorized);
    EXPECT_EQ(log, c.log);
    if (helper && c.blessCalls == 0) {
      EXPECT_EQ(helper->connections(), 0);
    }
    manager.reset();
    store->stopSampling();
  }
}

TEST_F(ManagerTest, LosingTheHelperWithdrawsAuthorization) {
  FakeHelper helper(socket);
  make();
  EndingWatch watch;
  manager->client().setConnector(watch.connector());
  startAuthorized();
  manager->setUpdateNeeded(true);  // kept: the update prompt comes back
  PostCounter errors(notifications::kXPCInstallError);
  PostCounter clears(notifications::kClearData);
  const int refreshesBefore = more->refreshes;
  ::testing::internal::CaptureStdout();
  ::testing::internal::CaptureStderr();
  helper.dropAll();
  const bool lost = fxtest::pumpUntil([&] {
    return watch.ended() == 1 && clears.count == 1 && !store->isSampling() &&
           more->refreshes > refreshesBefore;
  });
  const std::string out = ::testing::internal::GetCapturedStdout();
  const std::string log = ::testing::internal::GetCapturedStderr();
  ASSERT_TRUE(lost);
  EXPECT_EQ(errors.count, 1);
  EXPECT_EQ(out, kInterruptedOut);
  EXPECT_EQ(occurrences(log, kInterruptedLog), 1);
  EXPECT_TRUE(manager->isUpdateNeeded());
  EXPECT_FALSE(manager->client().hasConnection());
}

TEST_F(ManagerTest, ResultsReachTheStoreOnlyThroughTheDelegate) {
  const std::string doc =
      "<plist version=\"1.0\"><dict><key>marker</key><integer>7</integer></dict></plist>";
  struct Case {
    const char* cpu;
    bool storeSet;
    bool delivered;
  };
  for (const auto& c :
       {Case{"ARM", true, true}, Case{"x86", true, false}, Case{"ARM", false, false}}) {
    SCOPED_TRACE(std::string(c.cpu) + (c.storeSet ? " with store" : " without store"));
    store = std::make_unique<SGPowerMetrics>(true, *defaults);
    FakeHelper helper(socket);
    make(c.cpu);
    if (!c.storeSet) manager->setPowerMetricsModelDelegate(nullptr);
    manager->client().getConnection();
    ASSERT_TRUE(fxtest::pumpUntil([&] { return helper.connections() == 1; }));
    ASSERT_TRUE(helper.sendResult(plist::Bytes(doc.begin(), doc.end())));
    // A reply sent after the result arrives after it on the same reader thread.
    std::atomic<bool> answered = false;
    ASSERT_TRUE(manager->client().isResponding([&](bool) { answered = true; }));
    ASSERT_TRUE(fxtest::pumpUntil([&] { return answered.load(); }));
    fxtest::drainEvents();
    EXPECT_EQ(store->data()["marker"].integer().has_value(), c.delivered);
    manager.reset();
  }
}

// Handlers and results of a connection dropped on purpose must not act on its successor.
TEST_F(ManagerTest, EventsOfADroppedConnectionAreIgnored) {
  const std::string doc =
      "<plist version=\"1.0\"><dict><key>marker</key><integer>7</integer></dict></plist>";
  const plist::Bytes bytes(doc.begin(), doc.end());
  using Fire = std::function<void(xpc::Connection::Handlers&)>;
  const std::vector<std::pair<const char*, Fire>> events{
      {"interrupted", [](auto& h) { h.interrupted(); }},
      {"invalidated", [](auto& h) { h.invalidated(); }},
      {"result", [&](auto& h) { h.powermetricsResult(bytes); }},
  };
  for (const auto& [name, fire] : events) {
    SCOPED_TRACE(name);
    store = std::make_unique<SGPowerMetrics>(true, *defaults);
    FakeHelper helper(socket);
    make();
    std::vector<xpc::Connection::Handlers> seen;
    manager->client().setConnector([&](const std::string& path, xpc::Connection::Handlers h) {
      seen.push_back(h);
      return xpc::Connection::connect(path, std::move(h));
    });
    startAuthorized();
    manager->client().dropConnection();
    const auto second = manager->client().getConnection();
    ASSERT_EQ(seen.size(), 2u);
    PostCounter errors(notifications::kXPCInstallError);
    ::testing::internal::CaptureStdout();
    fire(seen[0]);
    fxtest::drainEvents();
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(manager->client().getConnection(), second);
    EXPECT_EQ(errors.count, 0);
    EXPECT_TRUE(manager->isAuthorized());
    EXPECT_FALSE(store->data()["marker"].integer().has_value());
    // The same event of the current connection does act.
    ::testing::internal::CaptureStdout();
    fire(seen[1]);
    fxtest::drainEvents();
    const std::string out = ::testing::internal::GetCapturedStdout();
    if (std::string(name) == "result") {
      EXPECT_TRUE(store->data()["marker"].integer().has_value());
      EXPECT_EQ(manager->client().getConnection(), second);
    } else {
      EXPECT_NE(out, "");
      EXPECT_FALSE(manager->client().hasConnection());
    }
    manager.reset();
    store->stopSampling();
  }
}

// Results are parsed on the reader thread into whatever store is the delegate; the main thread
// may destroy that store at any moment in between. (A sanitizer build catches a store touched
// after it is gone.)
TEST_F(ManagerTest, StoreMayGoWhileResultsArrive) {
  const std::string doc =
      "<plist version=\"1.0\"><dict><key>marker</key><integer>7</integer></dict></plist>";
  FakeHelper helper(socket);
  make();
  manager->client().getConnection();
  ASSERT_TRUE(fxtest::pumpUntil([&] { return helper.connections() == 1; }));
  std::atomic<bool> done{false};
  std::atomic<int> sent{0};
  std::thread flood([&] {
    while (!done && helper.sendResult(plist::Bytes(doc.begin(), doc.end())))
      ++sent;
  });
  for (int round = 0; round < 20; ++round) {
    SCOPED_TRACE(round);
    auto next = std::make_unique<SGPowerMetrics>(true, *defaults);
    next->setHelperLink(manager->powerMetricsLink());
    manager->setPowerMetricsModelDelegate(next.get());
    ASSERT_TRUE(fxtest::pumpUntil([&] { return next->data()["marker"].integer().has_value(); }));
    next.reset();  // still the delegate while results keep coming
    const int after = sent.load();
    ASSERT_TRUE(fxtest::pumpUntil([&] { return sent.load() > after + 10; }));
  }
  done = true;
  flood.join();
  manager->setPowerMetricsModelDelegate(store.get());
}

TEST_F(ManagerTest, DelayedUninstallDoesNothingOnceTheManagerIsGone) {
  FakeHelper helper(socket);
  make();
  startAuthorized();
  manager->uninstallHelper();
  manager.reset();
  // The delayed step's timer is started from the pool through the main loop; a marker of the
  // same delay started after it fires after it, so the step has had its turn by then.
  QThreadPool::globalInstance()->waitForDone();
  fxtest::drainEvents();
  bool marker = false;
  dispatch::mainAfter(XPCManager::kUninstallDelayMs, [&] { marker = true; });
  ASSERT_TRUE(fxtest::pumpUntil([&] { return marker; }, XPCManager::kUninstallDelayMs + 20000));
  EXPECT_EQ(helper.count(Message::UnInstallHelper), 0);
  // The store's link no longer reaches the manager either.
  store->requestSample();
  EXPECT_EQ(helper.count(Message::RequestPowermetrics), 1);
}

// A version check with no connection to ask on counts as an update being needed; it must not
// touch a connection that is not there.
TEST_F(ManagerTest, VersionCheckWithoutAConnectionNeedsAnUpdate) {
  make();
  manager->client().setConnector(
      [](const std::string&, xpc::Connection::Handlers) { return nullptr; });
  std::optional<bool> matched;
  manager->client().checkHelperVersion([&](bool match) { matched = match; });
  EXPECT_EQ(matched, std::optional<bool>(false));
  EXPECT_TRUE(manager->isUpdateNeeded());
  EXPECT_FALSE(manager->isAuthorized());
}

}  // namespace
