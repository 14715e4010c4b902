#include "app/helperlink/HelperLocations.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

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

}  // namespace
