// The helper executable as the application meets it: replies, sampler runs, close, uninstall.
#include <gtest/gtest.h>

#include <sstream>

#include "tests/integration/helper/HelperHarness.h"

namespace {

using namespace harness;

class HelperService : public ::testing::Test {
 protected:
  void start(std::vector<std::string> extra = {}) {
    extra.insert(extra.end(), {"--tools-dir", tools.dir.string(), "--sampler-grace-ms", "300"});
    helper.emplace(scratch.path, extra);
    ASSERT_TRUE(helper->ready()) << helper->log();
  }
  std::shared_ptr<xpc::Connection> connect(Inbox& inbox) {
    return xpc::Connection::connect(helper->socket, inbox.handlers());
  }

  ScratchDir scratch;
  FakeTools tools{scratch.path};
  std::optional<HelperProcess> helper;
};

TEST_F(HelperService, AnswersLivenessAndVersion) {
  start();
  EXPECT_NE(helper->log().find("[PWMJBS]: Privileged Helper has started\n"), std::string::npos);
  Inbox inbox;
  auto c = connect(inbox);
  Promise<bool> alive;
  Promise<std::string> version;
  ASSERT_TRUE(c->isResponding(alive.callback()));
  ASSERT_TRUE(c->getVersion(version.callback()));
  EXPECT_EQ(alive.get(), true);
  EXPECT_EQ(version.get(), "1.4");
  EXPECT_EQ(c->helperVersion(), 1);
  EXPECT_TRUE(helper->waitForLog("[PWMJBS]: Client is valid\n"));
}

TEST_F(HelperService, RequestArgumentsReachTheSampler) {
  start({"--nice-path", FERROLUX_FIXTURES_DIR "/helper/nice"});
  Inbox inbox;
  auto c = connect(inbox);
  struct Case {
    double ms;
    bool gpu;
    const char* interval;
    const char* samplers;
  };
  // Intervals grow, so the runs also end in this order.
  const Case cases[] = {{5.0, false, "5", "cpu_power"},
                        {150.99, true, "150", "cpu_power,gpu_power"},
                        {400.9, false, "400", "cpu_power"}};
  for (const auto& k : cases)
    c->requestPowermetrics(k.ms, k.gpu);
  for (const auto& k : cases) {
    SCOPED_TRACE(k.interval);
    const auto r = inbox.nextResult();
    ASSERT_TRUE(r);
    EXPECT_EQ(echoedNiceArgs(*r), std::string("-n -10 powermetrics -n 1 -i ") + k.interval +
                                      " --samplers " + k.samplers + " -f plist");
    EXPECT_EQ(echoedArgs(*r), (std::vector<std::string>{"-n", "1", "-i", k.interval, "--samplers",
                                                        k.samplers, "-f", "plist"}));
  }
}

TEST_F(HelperService, ResultsComeInTheOrderRunsEnd) {
  start();
  Inbox inbox;
  auto c = connect(inbox);
  c->requestPowermetrics(700, false);
  c->requestPowermetrics(20, true);
  const auto first = inbox.nextResult();
  const auto second = inbox.nextResult();
  ASSERT_TRUE(first && second);
  ASSERT_EQ(echoedArgs(*first).size(), 8u);
  ASSERT_EQ(echoedArgs(*second).size(), 8u);
  EXPECT_EQ(echoedArgs(*first)[3], "20");
  EXPECT_EQ(echoedArgs(*second)[3], "700");
}

TEST_F(HelperService, NilOnlyWhenTheSamplerCannotBeLaunched) {
  struct Case {
    const char* what;
    std::vector<std::string> extra;
    const char* mode;
    bool nil;
  };
  const Case cases[] = {
      {"starter missing", {"--nice-path", "/nonexistent/nice"}, "echo", true},
      {"sampler prints nothing", {}, "empty", false},
      {"sampler fails silently", {}, "fail", false},
      {"sampler missing", {}, "remove", false},
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(k.what);
    helper.reset();
    if (std::string(k.mode) == "remove") fs::remove(tools.dir / "powermetrics");
    tools.mode(k.mode);
    start(k.extra);
    Inbox inbox;
    auto c = connect(inbox);
    c->requestPowermetrics(10, false);
    const auto r = inbox.nextResult();
    ASSERT_TRUE(r);
    EXPECT_EQ(!r->has_value(), k.nil);
    if (r->has_value()) {
      EXPECT_TRUE((*r)->empty());
    }
  }
}

TEST_F(HelperService, CloseHelperEndsTheProcessWithStatusZero) {
  start();
  Inbox inbox;
  auto c = connect(inbox);
  Promise<bool> alive;
  c->isResponding(alive.callback());
  ASSERT_EQ(alive.get(), true);
  c->closeHelper();
  EXPECT_EQ(helper->waitExit(), 0);
  EXPECT_EQ(inbox.ending(), "interrupted");
}

TEST_F(HelperService, UninstallRemovesEverythingAndExits) {
  for (int managerStatus : {0, 1}) {
    SCOPED_TRACE(managerStatus);
    helper.reset();
    const fs::path base = scratch.path / std::to_string(managerStatus);
    Installed inst(base, managerStatus);
    start(inst.options(base));
    Inbox inbox;
    auto c = connect(inbox);
    c->unInstallHelper();
    EXPECT_EQ(helper->waitExit(), 0);
    const std::string units = "file://" + (inst.root / "etc/systemd/system/").string();
    const std::string expected =
        "[PWMJBS]: Request to uninstall Ferrolux Helper\n"
        "[PWMJBS]: trying to delete " +
        units +
        "com.tarquell.powermetrics.socket\n"
        "[PWMJBS]: trying to delete " +
        units +
        "com.tarquell.powermetrics.service\n"
        "[PWMJBS]: property list deleted\n"
        "[PWMJBS]: trying to delete file://" +
        inst.exe.string() +
        "\n"
        "[PWMJBS]: helper tool deleted\n"
        "[PWMJBS]: waiting unloading for launchctl...\n" +
        (managerStatus == 0 ? "[PWMJBS]: unloaded from launchctl successful\n"
                            : "[PWMJBS]: unloaded ERROR\n") +
        "[PWMJBS]: uninstall completed, exiting...\n";
    // Connections made while waiting for the helper to come up log their admission at any
    // moment; only the sequence's own lines are compared.
    std::string log;
    std::istringstream lines(helper->log());
    for (std::string line; std::getline(lines, line);)
      if (line != "[PWMJBS]: Client is valid") log += line + "\n";
    EXPECT_EQ(log.substr(std::min(log.size(), log.find("[PWMJBS]: Request"))), expected);
    for (const auto& f : {inst.socketUnit, inst.serviceUnit, inst.link, inst.exe, inst.sampler})
      EXPECT_FALSE(fs::exists(f)) << f;
    EXPECT_EQ(readFile(inst.record), "--no-block stop com.tarquell.powermetrics.socket\n");
  }
}

TEST_F(HelperService, UninstallWithTheJobListGoneKeepsServing) {
  Installed inst(scratch.path, 0);
  fs::remove(inst.socketUnit);
  start(inst.options(scratch.path));
  Inbox inbox;
  auto c = connect(inbox);
  c->unInstallHelper();
  ASSERT_TRUE(helper->waitForLog("[PWMJBS]: error "));
  Promise<bool> alive;
  c->isResponding(alive.callback());
  EXPECT_EQ(alive.get(), true);
  EXPECT_FALSE(helper->waitExit(100ms));
  const std::string log = helper->log();
  EXPECT_EQ(log.find("property list deleted"), std::string::npos);
  EXPECT_NE(log.find("No such file or directory"), std::string::npos);
  EXPECT_TRUE(fs::exists(inst.serviceUnit));
  EXPECT_TRUE(fs::exists(inst.exe));
  EXPECT_TRUE(fs::exists(inst.sampler));
  EXPECT_FALSE(fs::exists(inst.record));
}

}  // namespace
