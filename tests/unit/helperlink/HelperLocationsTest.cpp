#include "app/helperlink/HelperLocations.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <string>

#include "unit/helperlink/LinkTestSupport.h"

namespace {

using namespace linktest;
using helperlink::HelperLocations;

TEST(HelperLocations, ExpectedVersionComesFromTheCopysInformationList) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const std::string base = dir.path().toStdString();
  std::ofstream(base + "/text") << "CFBundleShortVersionString 1.4\n";
  struct Case {
    std::string path;
    std::optional<std::string> expected;
  };
  const Case cases[] = {
      {kHelperExe, "1.4"},
      {patchedHelper(base, "v13", reportsVersion13().from, reportsVersion13().to), "1.3"},
      {patchedHelper(base, "v140", reportsVersion140().from, reportsVersion140().to), "1.4.0"},
      {patchedHelper(base, "nokey", lacksVersionKey().from, lacksVersionKey().to), std::nullopt},
      {base + "/missing", std::nullopt},
      {base + "/text", std::nullopt},
      {base, std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    ASSERT_FALSE(c.path.empty());
    EXPECT_EQ(HelperLocations(c.path).expectedVersion(), c.expected);
  }
}

TEST(HelperLocations, CopyIsFoundBesideTheBuildOrWhereTheEnvironmentSays) {
  ::unsetenv("FERROLUX_HELPER_COPY");
  EXPECT_EQ(HelperLocations().helperCopy(), kHelperExe);
  ::setenv("FERROLUX_HELPER_COPY", "/elsewhere/helper", 1);
  EXPECT_EQ(HelperLocations().helperCopy(), "/elsewhere/helper");
  ::setenv("FERROLUX_HELPER_COPY", "", 1);
  EXPECT_EQ(HelperLocations().helperCopy(), kHelperExe);
  ::unsetenv("FERROLUX_HELPER_COPY");
  EXPECT_EQ(HelperLocations("/fixed").helperCopy(), "/fixed");
}

// An installed application must never pick up (and hand to the installer) a helper that a build
// tree left at the path it was built with.
TEST(HelperLocations, BuildTreeCopyCountsOnlyForAProgramInThatBuildTree) {
  const std::string build = FERROLUX_BUILD_DIR;
  struct Case {
    std::optional<std::string> program;
    bool buildCopy;
  };
  const Case cases[] = {
      {build + "/app/ferrolux", true},
      {build + "/tests/unit/helperlink/helperlink_tests", true},
      {"/usr/bin/ferrolux", false},
      {"/opt/ferrolux/bin/ferrolux", false},
      {build + "-installed/bin/ferrolux", false},  // a sibling whose name starts alike
      {"", false},
      {std::nullopt, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.program.value_or("(unknown)"));
    const auto paths = HelperLocations::candidates(c.program);
    EXPECT_EQ(std::count(paths.begin(), paths.end(), kHelperExe), c.buildCopy ? 1 : 0);
    ASSERT_FALSE(paths.empty());
    EXPECT_NE(paths.back(), kHelperExe);  // the fallback is always the configured one
  }
}

}  // namespace
