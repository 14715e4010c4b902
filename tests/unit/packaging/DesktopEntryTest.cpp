// The desktop menu entry: accepted by the freedesktop validator and starting the program that
// the build installs.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "shared/process/Process.h"

namespace {

namespace fs = std::filesystem;

TEST(DesktopEntry, PassesTheValidatorAndStartsFerrolux) {
  std::ifstream in(FERROLUX_DESKTOP_ENTRY);
  ASSERT_TRUE(in) << FERROLUX_DESKTOP_ENTRY;
  const std::string entry{std::istreambuf_iterator<char>(in), {}};
  EXPECT_NE(entry.find("\nExec=ferrolux\n"), std::string::npos);
  EXPECT_NE(entry.find("\nName=Ferrolux\n"), std::string::npos);

  const fs::path validator = "/usr/bin/desktop-file-validate";
  if (!fs::exists(validator)) GTEST_SKIP() << "desktop-file-validate not installed";
  proc::Spec spec;
  spec.path = validator.string();
  spec.args = {FERROLUX_DESKTOP_ENTRY};
  spec.env = {"PATH=/usr/bin:/bin"};
  spec.captureStderr = true;
  const auto r = proc::run(spec);
  // The validator reports problems on standard output and hints as well; any line is a finding.
  EXPECT_TRUE(r.succeeded()) << r.output << r.errorOutput;
  EXPECT_EQ(r.output, "");
}

}  // namespace
