// The manager and its link against the real signed helper: start-up, versions, loss of the
// helper, uninstall, update, and the close at termination on a machine that does not sample.
#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/core/UserDefaults.h"
#include "app/helperlink/XPCManager.h"
#include "integration/helperlink/LinkHarness.h"
#include "unit/core/QtApp.h"
#include "unit/helperlink/LinkTestSupport.h"

namespace {

using namespace linktest;
using helperlink::XPCManager;
using xpc::Message;
namespace fs = std::filesystem;

class HelperLink : public ManagerFixture {
 protected:
  // The helper (or a patched copy) on its socket, and the relay the link connects to.
  void startHelper(const std::string& exe = kHelperExe, std::vector<std::string> extra = {}) {
    extra.insert(extra.end(), {"--tools-dir", tools.dir.string()});
    fs::remove(helperSocket());  // left by an earlier helper of this test
    helper.emplace(exe, helperSocket(), base + "/helper.log", extra, /*appendLog=*/true);
    ASSERT_TRUE(helper->ready()) << harness::readFile(base + "/helper.log");
    if (!relay) relay.emplace(base + "/relay.sock", helperSocket());
    endpoint.emplace(relay->path());
  }
  std::string helperSocket() const { return base + "/helper.sock"; }

  static std::vector<Message> messages(const std::vector<Relay::Call>& calls, int connection) {
    std::vector<Message> out;
    for (const auto& c : calls)
      if (c.connection == connection) out.push_back(c.message);
    return out;
  }

  std::string base = dirPath();
  harness::FakeTools tools{fs::path(base)};
  std::optional<harness::HelperProcess> helper;
  std::optional<Relay> relay;
  std::optional<EndpointOverride> endpoint;
};

TEST_F(HelperLink, StartupWithACurrentHelperSamplesOverTheSameConnection) {
  startHelper();
  make();
  startAuthorized();
  // The first sample is asked for at once; its result comes back through the store.
  ASSERT_TRUE(fxtest::pumpUntil([&] { return store->data()["args"].size() > 0; }));
  store->requestSample();
  ASSERT_TRUE(
      fxtest::pumpUntil([&] { return relay->callsOf(Message::RequestPowermetrics).size() == 2; }));
  EXPECT_EQ(relay->connections(), 1);
  EXPECT_EQ(messages(relay->calls(), 1),
            (std::vector<Message>{Message::IsResponding, Message::GetVersion,
                                  Message::RequestPowermetrics, Message::RequestPowermetrics}));
  EXPECT_FALSE(manager->isUpdateNeeded());
  EXPECT_GT(content->refreshes, 0);
}

// A helper whose information list lacks its version reports "0", which is never current.
TEST_F(HelperLink, AHelperWithoutVersionAsksForAnUpdate) {
  const std::string exe =
      patchedHelper(base, "helper-0", lacksVersionKey().from, lacksVersionKey().to);
  ASSERT_FALSE(exe.empty());
  ASSERT_TRUE(resign(exe));
  startHelper(exe);
  make();
  ASSERT_TRUE(manager->checkHelperAtStartup());
  ASSERT_TRUE(fxtest::pumpUntil([&] { return manager->isUpdateNeeded(); }));
  fxtest::drainEvents();
  EXPECT_FALSE(manager->isAuthorized());
  EXPECT_FALSE(store->isSampling());
  EXPECT_EQ(messages(relay->calls(), 1),
            (std::vector<Message>{Message::IsResponding, Message::GetVersion}));
}

TEST_F(HelperLink, HelperEndingWhileConnectedWithdrawsAuthorization) {
  startHelper();
  make();
  EndingWatch watch;
  manager->client().setConnector(watch.connector());
  startAuthorized();
  PostCounter errors(notifications::kXPCInstallError);
  PostCounter clears(notifications::kClearData);
  ::testing::internal::CaptureStdout();
  helper->kill(SIGKILL);
  const bool lost = fxtest::pumpUntil(
      [&] { return watch.ended() == 1 && clears.count == 1 && !store->isSampling(); });
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), "connetionInterruptionHandler\n");
  ASSERT_TRUE(lost);
  EXPECT_EQ(errors.count, 1);
}

// An installed tree in the scratch folder and a service manager that records its arguments,
// so the helper's removal of itself stays inside the test.
struct ScratchInstall {
  fs::path root, exe, record, manager;
  explicit ScratchInstall(const fs::path& base)
      : root(base / "root"),
        exe(root / "usr/local/libexec/ferrolux-helpers/com.tarquell.powermetrics"),
        record(base / "manager-args"),
        manager(base / "systemctl") {
    for (const char* unit :
         {"com.tarquell.powermetrics.socket", "com.tarquell.powermetrics.service"})
      harness::writeFile(root / "etc/systemd/system" / unit, "x");
    harness::writeFile(exe, "x");
    harness::writeFile(manager, "#!/bin/sh\necho \"$@\" > '" + record.string() + "'\n");
    fs::permissions(manager, fs::perms::owner_all);
  }
  std::vector<std::string> options() const {
    return {"--install-root", root.string(), "--service-manager", manager.string()};
  }
};

TEST_F(HelperLink, UninstallStopsSamplingAtOnceAndTheHelperLater) {
  ScratchInstall install(base);
  startHelper(kHelperExe, install.options());
  make();
  EndingWatch watch;
  manager->client().setConnector(watch.connector());
  startAuthorized();
  PostCounter clears(notifications::kClearData);
  const auto asked = Clock::now();
  manager->uninstallHelper();
  ASSERT_TRUE(fxtest::pumpUntil([&] { return manager->isRequestedToUninstall(); }));
  EXPECT_FALSE(store->isSampling());
  EXPECT_FALSE(manager->mayUseHelper());
  ::testing::internal::CaptureStdout();
  const bool gone = fxtest::pumpUntil(
      [&] { return helper->endStatus().has_value() && watch.ended() == 1 && clears.count == 1; });
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), "connetionInterruptionHandler\n");
  ASSERT_TRUE(gone);
  EXPECT_EQ(helper->endStatus(), 0);
  EXPECT_FALSE(manager->isRequestedToUninstall());
  EXPECT_FALSE(fs::exists(install.exe));
  EXPECT_EQ(harness::readFile(install.record),
            "--no-block stop com.tarquell.powermetrics.socket\n");
  // The message went over a fresh connection, no sooner than the delay.
  const auto uninstalls = relay->callsOf(Message::UnInstallHelper);
  ASSERT_EQ(uninstalls.size(), 1u);
  EXPECT_EQ(uninstalls[0].connection, 2);
  EXPECT_GE(uninstalls[0].at - asked, std::chrono::milliseconds(XPCManager::kUninstallDelayMs));
}

TEST_F(HelperLink, UpdateReinstallsAfterTheUninstall) {
  ScratchInstall install(base);
  startHelper(kHelperExe, install.options());
  // The install starts a fresh helper, as the service manager would after a real install.
  make("ARM", {.authorizeStatus = 0, .blessResult = true, .onBless = [&] {
                 helper.reset();
                 startHelper();
               }});
  startAuthorized();
  manager->setUpdateNeeded(true);
  PostCounter did(notifications::kXPCDidInstall);
  const auto asked = Clock::now();
  manager->updateHelper();
  ASSERT_TRUE(fxtest::pumpUntil([&] { return did.count == 1 && store->isSampling(); }));
  ASSERT_EQ(installs->authorizeTimes.size(), 1u);
  EXPECT_GE(installs->authorizeTimes[0] - asked,
            std::chrono::milliseconds(XPCManager::kUpdateDelayMs));
  const auto uninstalls = relay->callsOf(Message::UnInstallHelper);
  ASSERT_EQ(uninstalls.size(), 1u);
  EXPECT_LT(uninstalls[0].at, installs->authorizeTimes[0]);
  EXPECT_TRUE(manager->isAuthorized());
  EXPECT_FALSE(manager->isUpdateNeeded());
  EXPECT_FALSE(manager->isRequestedToUninstall());
}

TEST_F(HelperLink, ElsewhereTheLinkOnlyClosesTheHelper) {
  startHelper();
  make("x86");
  manager->client().sendCloseHelper();
  ASSERT_TRUE(fxtest::pumpUntil([&] { return helper->endStatus().has_value(); }));
  EXPECT_EQ(helper->endStatus(), 0);
  EXPECT_EQ(messages(relay->calls(), relay->connections()),
            (std::vector<Message>{Message::CloseHelper}));
}

}  // namespace
