// Generated units must be accepted by systemd and keep the service tightly confined.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <regex>

#include "helper/EmbeddedInfo.h"
#include "packaging/SystemdUnits.h"
#include "shared/process/Process.h"
#include "unit/core/Numbers.h"
#include "unit/core/ScratchDir.h"

namespace {

namespace fs = std::filesystem;
const std::string kHelper = FERROLUX_BUILD_DIR "/helper/com.tarquell.powermetrics";

packaging::UnitOptions testOptions() {
  auto o = packaging::installedUnitOptions("/usr/local/libexec/ferrolux", "");
  o.executable = kHelper;  // verification wants an executable that exists
  return o;
}

proc::Result analyze(std::vector<std::string> args) {
  proc::Spec s;
  s.path = "/usr/bin/systemd-analyze";
  s.args = std::move(args);
  s.env = {"PATH=/usr/bin:/bin", "SYSTEMD_LOG_LEVEL=warning"};
  s.captureStderr = true;
  s.timeLimit = std::chrono::seconds(60);
  return proc::run(s);
}

TEST(SystemdUnits, GeneratedFromTheJobList) {
  const auto units = packaging::generateUnits(helper::jobList(), testOptions());
  ASSERT_TRUE(units);
  EXPECT_EQ(units->socketName, "com.tarquell.powermetrics.socket");
  EXPECT_EQ(units->serviceName, "com.tarquell.powermetrics.service");
  EXPECT_NE(units->socket.find("ListenStream=/run/ferrolux/com.tarquell.powermetrics.sock\n"),
            std::string::npos);
  EXPECT_NE(units->socket.find("SocketMode=0600\n"), std::string::npos);
  EXPECT_NE(units->service.find("\nNice=-10\n"), std::string::npos);
  // A hostile peer or a runaway sampler meets these bounds before the host's.
  for (const char* limit : {"\nMemoryMax=", "\nTasksMax=", "\nLimitSTACK="})
    EXPECT_NE(units->service.find(limit), std::string::npos) << limit;
  // The installed helper finds the sampler the installer put beside it.
  EXPECT_NE(
      units->service.find("\nExecStart=" + kHelper + " --tools-dir /usr/local/libexec/ferrolux\n"),
      std::string::npos);
  auto owned = testOptions();
  owned.socketUser = "alice";
  EXPECT_NE(packaging::generateUnits(helper::jobList(), owned)->socket.find("SocketUser=alice\n"),
            std::string::npos);
}

TEST(SystemdUnits, RefusesWhatCannotBeWrittenSafely) {
  struct Case {
    const char* what;
    plist::Value jobs;
    packaging::UnitOptions options;
  };
  auto with = [](auto change) {
    auto o = testOptions();
    change(o);
    return o;
  };
  const Case cases[] = {
      {"no label", plist::Dict{{"Nice", -10}}, testOptions()},
      {"label with a path", plist::Dict{{"Label", "../evil"}}, testOptions()},
      {"label with a newline", plist::Dict{{"Label", "a\nExecStart=/bin/sh"}}, testOptions()},
      {"nice out of range", plist::Dict{{"Label", "x"}, {"Nice", -21}}, testOptions()},
      {"relative executable", helper::jobList(), with([](auto& o) { o.executable = "helper"; })},
      {"path with a space", helper::jobList(), with([](auto& o) { o.socketPath = "/run/a b"; })},
      {"specifier in a path", helper::jobList(), with([](auto& o) { o.toolsDir = "/opt/%h"; })},
      {"user with a newline", helper::jobList(),
       with([](auto& o) { o.socketUser = "a\nUser=root"; })},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_FALSE(packaging::generateUnits(c.jobs, c.options));
  }
}

class SystemdUnitsOnDisk : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!fs::exists("/usr/bin/systemd-analyze")) GTEST_SKIP() << "systemd-analyze not installed";
    ASSERT_FALSE(dir.empty());
    const auto units = packaging::generateUnits(helper::jobList(), testOptions());
    ASSERT_TRUE(units);
    socket = (dir / units->socketName).string();
    service = (dir / units->serviceName).string();
    std::ofstream(socket) << units->socket;
    std::ofstream(service) << units->service;
  }
  fxtest::ScratchDir scratch{"fx-units"};
  fs::path dir = scratch.path;
  std::string socket, service;
};

TEST_F(SystemdUnitsOnDisk, VerifyCleanly) {
  const auto r = analyze({"verify", socket, service});
  EXPECT_TRUE(r.succeeded()) << r.errorOutput;
  EXPECT_EQ(r.errorOutput, "");
}

TEST_F(SystemdUnitsOnDisk, ExposureAtMostOnePointFour) {
  const auto r = analyze({"security", "--offline=true", "--no-pager", service});
  ASSERT_TRUE(r.launched);
  std::smatch m;
  ASSERT_TRUE(std::regex_search(r.output, m, std::regex(R"(exposure level for \S+: ([0-9.]+))")))
      << r.output << r.errorOutput;
  EXPECT_LE(fxtest::number(m[1].str()), 1.4) << r.output;
}

}  // namespace
