// Sim profiles: the shipped ones load with the machines they promise; broken ones are refused
// with a message naming the first problem.
#include <gtest/gtest.h>

#include "platform/sim/Profile.h"

namespace {

using namespace platform;

std::optional<int64_t> integer(SysctlTable& t, const char* name) {
  int64_t v = 0;
  size_t len = sizeof v;
  if (t.sysctlbyname(name, &v, &len) != 0) return std::nullopt;
  return len == 4 ? static_cast<int64_t>(static_cast<int32_t>(v)) : v;
}

TEST(Profile, ShippedProfiles) {
  struct Case {
    const char* file;
    OSVersion os;
    int cpus;
    int64_t cputype;
    size_t smcKeys, hidSensors, accelerators;
  };
  const Case cases[] = {
      {"macmini-m1", {12, 6, 1}, 8, 0x0100000C, 4, 11, 1},
      {"macbookpro-m2pro", {13, 5, 0}, 12, 0x0100000C, 17, 0, 1},
      {"macbookpro-m3max", {14, 2, 1}, 16, 0x0100000C, 19, 0, 2},
      {"macbookpro-intel", {12, 7, 0}, 16, 0x01000007, 6, 0, 2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    auto r =
        sim::loadProfile(std::string(FERROLUX_SOURCE_DIR) + "/data/profiles/" + c.file + ".plist");
    ASSERT_TRUE(r.profile) << r.error;
    EXPECT_FALSE(r.profile->name.empty());
    EXPECT_EQ(r.profile->osVersion, c.os);
    EXPECT_EQ(r.profile->cpuCount, c.cpus);
    EXPECT_EQ(integer(r.profile->sysctl, "hw.cputype"), c.cputype);
    EXPECT_EQ(integer(r.profile->sysctl, "hw.memsize").value_or(0) > INT32_MAX, true);
    EXPECT_EQ(r.profile->smc.size(), c.smcKeys);
    EXPECT_EQ(r.profile->hid.size(), c.hidSensors);
    EXPECT_EQ(r.profile->ioAccelerators.size(), c.accelerators);
    EXPECT_TRUE(r.profile->systemProfiler["SPDisplaysDataType"].isArray());
    EXPECT_TRUE(r.profile->sampler.isDict());
  }
}

std::string doc(const std::string& body) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?><plist version=\"1.0\">" + body + "</plist>";
}

TEST(Profile, BrokenProfilesAreRefused) {
  const std::pair<std::string, std::string> cases[] = {
      {"<array/>", "not a dictionary"},
      {"<dict><key>osVersion</key><string>thirteen</string></dict>", "\"osVersion\""},
      {"<dict><key>osVersion</key><integer>13</integer></dict>", "\"osVersion\""},
      {"<dict><key>sysctl</key><array/></dict>", "\"sysctl\" must be a dictionary"},
      {"<dict><key>sysctl</key><dict><key>hw.x</key><true/></dict></dict>", "sysctl \"hw.x\""},
      {"<dict><key>sysctl</key><dict><key>hw.memsize</key><integer>17179869184</integer></dict>"
       "</dict>",
       "does not fit 32 bits"},
      {"<dict><key>sysctl64</key><array><integer>1</integer></array></dict>", "\"sysctl64\""},
      {"<dict><key>smc</key><array><dict><key>key</key><string>Tp01</string><key>type</key>"
       "<string>flt</string><key>bytes</key><data>AAAA</data></dict></array></dict>",
       "smc entry 0: \"type\""},
      {"<dict><key>smc</key><array><dict><key>key</key><string>Tp01</string><key>type</key>"
       "<string>flt </string></dict></array></dict>",
       "smc entry 0: \"bytes\""},
      {"<dict><key>hid</key><array><string>x</string></array></dict>", "hid entry 0"},
      {"<dict><key>hid</key><array><dict><key>temperature</key><string>hot</string></dict>"
       "</array></dict>",
       "\"temperature\""},
      {"<dict><key>ioAccelerators</key><dict/></dict>", "\"ioAccelerators\""},
      {"<dict><key>sampler</key><array/></dict>", "\"sampler\""},
      {"<dict><key>sampler</key><dict><key>clusters</key><array><dict><key>cpus</key><array>"
       "<integer>-1</integer></array></dict></array></dict></dict>",
       "invalid CPU"},
  };
  for (const auto& [body, problem] : cases) {
    SCOPED_TRACE(body);
    auto parsed = plist::parse(doc(body));
    ASSERT_TRUE(parsed.ok()) << parsed.error;
    auto r = sim::parseProfile(*parsed.value, "test.plist");
    EXPECT_FALSE(r.profile);
    EXPECT_NE(r.error.find("profile test.plist: "), std::string::npos) << r.error;
    EXPECT_NE(r.error.find(problem), std::string::npos) << r.error;
  }
}

TEST(Profile, EmptyDictionaryIsAMachineWithNothing) {
  auto r = sim::parseProfile(plist::Value(plist::Dict{}), "empty.plist");
  ASSERT_TRUE(r.profile) << r.error;
  EXPECT_EQ(r.profile->cpuCount, 0);
  EXPECT_TRUE(r.profile->smc.empty());
  EXPECT_EQ(r.profile->osVersion, OSVersion{});
}

TEST(Profile, UnreadableFiles) {
  const std::pair<std::string, std::string> cases[] = {
      {"/nonexistent/profile.plist", "cannot be read"},
      {std::string(FERROLUX_FIXTURES_DIR) + "/sysfs/vm-minimal/proc/stat", "not a property list"},
  };
  for (const auto& [path, problem] : cases) {
    auto r = sim::loadProfile(path);
    EXPECT_FALSE(r.profile);
    EXPECT_NE(r.error.find(problem), std::string::npos) << r.error;
  }
}

TEST(Profile, OSVersions) {
  const std::pair<const char*, std::optional<OSVersion>> cases[] = {
      {"13.4.1", OSVersion{13, 4, 1}}, {"14", OSVersion{14, 0, 0}},
      {"12.6", OSVersion{12, 6, 0}},   {"", std::nullopt},
      {"13.", std::nullopt},           {"13.4.1.2", std::nullopt},
      {"v13", std::nullopt},           {"13.-1", std::nullopt},
  };
  for (const auto& [text, version] : cases)
    EXPECT_EQ(sim::parseOSVersion(text), version) << text;
}

}  // namespace
