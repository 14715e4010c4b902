// The application's install step against a stand-in pkexec that records its arguments.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cerrno>
#include <filesystem>
#include <fstream>

#include "app/helperlink/PkexecInstaller.h"
#include "unit/core/ScratchDir.h"

namespace {

namespace fs = std::filesystem;

class PkexecInstallerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(dir.empty());
    pkexec = dir / "pkexec";
    // Records one argument a line; exits with the status written in "status".
    std::ofstream(pkexec) << "#!/bin/sh\nd=$(dirname \"$0\")\nprintf '%s\\n' \"$@\" > \"$d/argv\"\n"
                             "exit $(cat \"$d/status\")\n";
    fs::permissions(pkexec, fs::perms(0755));
  }
  helperlink::PkexecPaths paths() const {
    return {pkexec.string(), "/opt/fx/ferrolux-bless", "/opt/fx/com.tarquell.powermetrics",
            "/opt/fx/power metrics", "/opt/fx/ferrolux"};
  }
  std::string recorded() const {
    std::ifstream in(dir / "argv");
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

  fxtest::ScratchDir scratch{"fx-pkexec"};
  fs::path dir = scratch.path, pkexec;
};

TEST_F(PkexecInstallerTest, RunsTheInstallerWithFixedArgumentsAndReportsItsStatus) {
  for (const auto& [status, blessed] :
       {std::pair{0, true}, {126, false}, {127, false}, {2, false}}) {
    SCOPED_TRACE(status);
    std::ofstream(dir / "status") << status;
    fs::remove(dir / "argv");
    helperlink::PkexecInstaller installer(paths());
    EXPECT_EQ(installer.authorize(), 0);
    EXPECT_EQ(installer.bless(), blessed);
    // A path with a space stays one argument: there is no shell in between.
    EXPECT_EQ(recorded(),
              "/opt/fx/ferrolux-bless\ninstall\n--helper\n/opt/fx/com.tarquell.powermetrics\n"
              "--sampler\n/opt/fx/power metrics\n--client\n/opt/fx/ferrolux\n");
  }
}

TEST_F(PkexecInstallerTest, AuthorizeSaysWhyPkexecCannotBeUsed) {
  std::ofstream(dir / "plain") << "x";
  fs::create_directory(dir / "folder");
  struct Case {
    std::string pkexec;
    int status;
  };
  const Case cases[] = {
      {pkexec.string(), 0},
      {(dir / "missing").string(), ENOENT},
      {"pkexec", ENOENT},
      {"", ENOENT},
      {(dir / "plain").string(), EACCES},
      {(dir / "folder").string(), EACCES},
  };
  for (const auto& c : cases) {
    auto p = paths();
    p.pkexec = c.pkexec;
    EXPECT_EQ(helperlink::PkexecInstaller(p).authorize(), c.status) << c.pkexec;
  }
}

TEST_F(PkexecInstallerTest, NoRunWithoutAnExecutableToName) {
  std::ofstream(dir / "status") << 0;
  auto p = paths();
  p.client.clear();
  helperlink::PkexecInstaller installer(p);
  EXPECT_FALSE(installer.bless());
  EXPECT_FALSE(fs::exists(dir / "argv"));
}

TEST(OwnExecutable, IsTheRunningProgram) {
  EXPECT_EQ(helperlink::ownExecutable(), fs::canonical("/proc/self/exe").string());
  const auto installed = helperlink::installedPkexecPaths();
  EXPECT_EQ(installed.client, helperlink::ownExecutable());
  EXPECT_EQ(installed.bless, FERROLUX_EXPECTED_BLESS_PATH);
}

}  // namespace
