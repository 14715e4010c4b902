// The software-centre description and the icon: the description passes the AppStream validator
// (offline), names the desktop entry and the icon the entry names, and every screenshot it lists
// is a picture that lies in the repository's docs folder.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <string>

#include "shared/process/Process.h"
#include "unit/core/Files.h"

namespace {

namespace fs = std::filesystem;

TEST(Metainfo, PassesTheValidatorAndMatchesTheDesktopEntry) {
  const fs::path source = FERROLUX_SOURCE_DIR;
  const fs::path metainfo = source / "packaging/com.tarquell.Ferrolux.metainfo.xml";
  const std::string text = fxtest::readFile(metainfo);
  ASSERT_FALSE(text.empty()) << metainfo;
  const std::string entry = fxtest::readFile(source / "packaging/com.tarquell.Ferrolux.desktop");
  EXPECT_NE(entry.find("\nIcon=com.tarquell.Ferrolux\n"), std::string::npos);
  EXPECT_TRUE(fs::exists(source / "packaging/icons/com.tarquell.Ferrolux.svg"));
  EXPECT_NE(text.find("<launchable type=\"desktop-id\">com.tarquell.Ferrolux.desktop<"),
            std::string::npos);
  EXPECT_NE(text.find("<release version=\"" FERROLUX_VERSION "\""), std::string::npos)
      << "the newest release listed is this build's version";

  const std::regex image("<image>[^<]*/main/(docs/[^<]+)</image>");
  int screenshots = 0;
  for (std::sregex_iterator it(text.begin(), text.end(), image), end; it != end;
       ++it, ++screenshots)
    EXPECT_TRUE(fs::exists(source / (*it)[1].str())) << (*it)[1].str();
  EXPECT_GE(screenshots, 3);

  const fs::path validator = "/usr/bin/appstreamcli";
  if (!fs::exists(validator)) GTEST_SKIP() << "appstreamcli not installed";
  proc::Spec spec;
  spec.path = validator.string();
  spec.args = {"validate", "--no-net", "--no-color", metainfo.string()};
  spec.env = {"PATH=/usr/bin:/bin"};
  spec.captureStderr = true;
  const auto r = proc::run(spec);
  EXPECT_TRUE(r.succeeded()) << r.output << r.errorOutput;
  EXPECT_EQ(r.output.find("E: "), std::string::npos) << r.output;
  EXPECT_EQ(r.output.find("W: "), std::string::npos) << r.output;
}

}  // namespace
