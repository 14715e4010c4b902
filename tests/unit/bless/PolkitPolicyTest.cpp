// The polkit action file: valid against polkit's DTD, administrator authentication every
// time, and pkexec pointed at the installed installer.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "shared/process/Process.h"
#include "unit/core/Files.h"

namespace {

namespace fs = std::filesystem;

TEST(PolkitPolicy, ValidAgainstTheDtd) {
  const fs::path dtd = "/usr/share/polkit-1/policyconfig-1.dtd";
  if (!fs::exists("/usr/bin/xmllint") || !fs::exists(dtd))
    GTEST_SKIP() << "xmllint or polkit's DTD not installed";
  proc::Spec spec;
  spec.path = "/usr/bin/xmllint";
  spec.args = {"--noout", "--nonet", "--dtdvalid", dtd.string(), FERROLUX_POLKIT_POLICY};
  spec.env = {"PATH=/usr/bin:/bin"};
  spec.captureStderr = true;
  const auto r = proc::run(spec);
  EXPECT_TRUE(r.succeeded()) << r.errorOutput;
}

TEST(PolkitPolicy, AdministratorEveryTimeForTheInstalledInstaller) {
  const std::string policy = fxtest::readFile(FERROLUX_POLKIT_POLICY);
  EXPECT_NE(policy.find("<action id=\"com.tarquell.ferrolux.bless\">"), std::string::npos);
  for (const char* tag : {"allow_any", "allow_inactive", "allow_active"})
    EXPECT_NE(policy.find(std::string("<") + tag + ">auth_admin</" + tag + ">"), std::string::npos)
        << tag;
  EXPECT_NE(policy.find("<annotate key=\"org.freedesktop.policykit.exec.path\">" +
                        std::string(FERROLUX_EXPECTED_BLESS_PATH) + "</annotate>"),
            std::string::npos);
}

}  // namespace
