// The helper executable as the application meets it: replies, sampler runs, close, uninstall.
#include <gtest/gtest.h>

#include <map>
#include <sstream>

#include "tests/integration/helper/HelperHarness.h"

namespace {

using namespace harness;

using HelperService = StandInHelperTest;

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
  const Case cases[] = {{5.0, false, "5", "cpu_power"},
                        {150.99, true, "150", "cpu_power,gpu_power"},
                        {400.9, false, "400", "cpu_power"}};
  for (const auto& k : cases)
    c->requestPowermetrics(k.ms, k.gpu);
  // The runs overlap, so they may end in any order; each result names its interval.
  std::map<std::string, std::optional<plist::Bytes>> byInterval;
  for (size_t i = 0; i < std::size(cases); ++i) {
    const auto r = inbox.nextResult();
    ASSERT_TRUE(r);
    ASSERT_EQ(echoedArgs(*r).size(), 8u);
    byInterval[echoedArgs(*r)[3]] = *r;
  }
  for (const auto& k : cases) {
    SCOPED_TRACE(k.interval);
    const auto& r = byInterval[k.interval];
    EXPECT_EQ(echoedNiceArgs(r), std::string("-n -10 powermetrics -n 1 -i ") + k.interval +
                                     " --samplers " + k.samplers + " -f plist");
    EXPECT_EQ(echoedArgs(r), (std::vector<std::string>{"-n", "1", "-i", k.interval, "--samplers",
                                                       k.samplers, "-f", "plist"}));
  }
}

// The sampler runs as root, so nothing of the helper's own environment reaches it, not even a
// setting meant for this program's other processes.
TEST_F(HelperService, SamplerGetsOnlyTheFixedEnvironment) {
  start({"--nice-path", FERROLUX_FIXTURES_DIR "/helper/nice"},
        {"FERROLUX_PLATFORM=sim:macmini-m1", "FERROLUX_SIM_PROFILE=/tmp/x.plist", "LD_PRELOAD="});
  Inbox inbox;
  auto c = connect(inbox);
  c->requestPowermetrics(1, false);
  const auto r = inbox.nextResult();
  ASSERT_TRUE(r);
  const std::string names = echoedEnvironment(*r);
  EXPECT_NE(names.find("LC_ALL "), std::string::npos) << names;
  EXPECT_NE(names.find("PATH "), std::string::npos) << names;
  for (const char* absent : {"FERROLUX_", "LD_PRELOAD", "ASAN_OPTIONS"})
    EXPECT_EQ(names.find(absent), std::string::npos) << absent << " in " << names;
}

TEST_F(HelperService, ResultsComeInTheOrderRunsEnd) {
  tools.mode("gate");  // each run waits for its own go-INTERVAL file
  start();
  Inbox inbox;
  auto c = connect(inbox);
  c->requestPowermetrics(700, false);
  c->requestPowermetrics(20, true);
  writeFile(tools.dir / "go-20", "");
  const auto first = inbox.nextResult();
  writeFile(tools.dir / "go-700", "");
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

// closeHelper closes the sender's connection; the process ends, with status 0, only when that
// was the last admitted connection.
TEST_F(HelperService, CloseHelperEndsTheProcessOnlyForTheLastClient) {
  start();
  Inbox first, last;
  auto a = connect(first);
  auto b = connect(last);
  for (auto* c : {&a, &b}) {
    Promise<bool> alive;
    (*c)->isResponding(alive.callback());
    ASSERT_EQ(alive.get(), true);
  }
  a->closeHelper();
  EXPECT_EQ(first.ending(), "interrupted");
  EXPECT_FALSE(helper->waitExit(300ms));
  b->requestPowermetrics(1, false);
  const auto r = last.nextResult();
  ASSERT_TRUE(r);
  EXPECT_FALSE(echoedArgs(*r).empty());
  EXPECT_TRUE(helper->waitForLog("1 other client(s) stay connected"));
  b->closeHelper();
  EXPECT_EQ(helper->waitExit(), 0);
  EXPECT_EQ(last.ending(), "interrupted");
}

TEST_F(HelperService, UninstallRemovesEverythingAndExits) {
  for (int managerStatus : {0, 1}) {
    SCOPED_TRACE(managerStatus);
    const fs::path base = scratch.path / std::to_string(managerStatus);
    InstalledTree inst(base, managerStatus);
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
  InstalledTree inst(scratch.path, 0);
  fs::remove(inst.socketUnit);
  start(inst.options(scratch.path));
  Inbox inbox;
  auto c = connect(inbox);
  c->unInstallHelper();
  // The failure line carries no prefix: "error " and the description.
  ASSERT_TRUE(helper->waitForLog("\nerror Could not remove " + inst.socketUnit.string() +
                                 ": No such file or directory\n"))
      << helper->log();
  Promise<bool> alive;
  c->isResponding(alive.callback());
  EXPECT_EQ(alive.get(), true);
  // Had the sequence gone on, its last line would come before any exit; ending the helper
  // through its own close message makes the log final without waiting on the clock.
  c->closeHelper();
  EXPECT_EQ(helper->waitExit(), 0);
  const std::string log = helper->log();
  EXPECT_EQ(log.find("[PWMJBS]: error"), std::string::npos);
  EXPECT_EQ(log.find("property list deleted"), std::string::npos);
  EXPECT_EQ(log.find("uninstall completed"), std::string::npos);
  EXPECT_TRUE(fs::exists(inst.serviceUnit));
  EXPECT_TRUE(fs::exists(inst.exe));
  EXPECT_TRUE(fs::exists(inst.sampler));
  EXPECT_FALSE(fs::exists(inst.record));
}

// Installed, the helper is started by systemd with the listening socket already open, and its
// standard error is the journal's stream. The service manager's own test launcher hands the
// socket over the same way; a JOURNAL_STREAM that names the log file stands for the journal.
TEST(HelperActivation, ServesThePassedSocketAndMarksJournalLines) {
  constexpr const char* kActivate = "/usr/bin/systemd-socket-activate";
  if (!fs::exists(kActivate)) GTEST_SKIP() << kActivate << " is not installed";
  struct Case {
    bool journal;
    const char* firstLine;
  };
  const Case cases[] = {{false, "\n[PWMJBS]: Privileged Helper has started\n"},
                        {true, "\n<5>[PWMJBS]: Privileged Helper has started\n"}};
  for (const auto& k : cases) {
    SCOPED_TRACE(k.journal);
    ScratchDir scratch;
    FakeTools tools{scratch.path};
    const fs::path logPath = scratch.path / "helper.log";
    writeFile(logPath, "");
    struct stat st;
    ASSERT_EQ(::stat(logPath.c_str(), &st), 0);
    std::vector<std::string> extra;
    if (k.journal)
      extra = {"-E",
               "JOURNAL_STREAM=" + std::to_string(st.st_dev) + ":" + std::to_string(st.st_ino)};
    extra.insert(extra.end(), {HelperProcess::kExecutable, "--tools-dir", tools.dir.string()});
    HelperProcess helper(kActivate, (scratch.path / "h.sock").string(), logPath, extra,
                         /*appendLog=*/false);
    ASSERT_TRUE(helper.ready()) << helper.log();
    Inbox inbox;
    auto c = xpc::Connection::connect(helper.socket, inbox.handlers());
    c->requestPowermetrics(5, false);
    const auto r = inbox.nextResult();
    ASSERT_TRUE(r);
    EXPECT_EQ(echoedArgs(*r).size(), 8u);
    const std::string log = helper.log();
    // The launcher logs a few lines of its own before the helper's.
    EXPECT_NE(log.find(k.firstLine), std::string::npos) << log;
    // Every line of the helper carries the priority, or none does.
    EXPECT_EQ(log.find(k.journal ? "\n[PWMJBS]" : "<5>"), std::string::npos) << log;
  }
}

}  // namespace
