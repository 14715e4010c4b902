// The Linux readers on captured trees: sysctl facts, per-CPU ticks, the small parsers below them.
#include <gtest/gtest.h>

#include "platform/SysctlTable.h"
#include "platform/linux/LinuxProcessorLoad.h"
#include "platform/linux/LinuxSysctl.h"
#include "platform/linux/SysfsReader.h"

namespace {

using namespace platform;

std::string tree(const std::string& name) {
  return std::string(FERROLUX_FIXTURES_DIR) + "/sysfs/" + name;
}

std::optional<int64_t> integer(SysctlTable& t, const char* name) {
  int64_t v = 0;
  size_t len = sizeof v;
  if (t.sysctlbyname(name, &v, &len) != 0) return std::nullopt;
  return len == 4 ? static_cast<int64_t>(static_cast<int32_t>(v)) : v;
}

std::optional<std::string> text(SysctlTable& t, const char* name) {
  char buf[256] = {};
  size_t len = sizeof buf;
  if (t.sysctlbyname(name, buf, &len) != 0) return std::nullopt;
  return std::string(buf);
}

// What the readers make of each captured machine is compared whole with its stored snapshot
// (machine_snapshot_tests); these cases are the ones no tree shows.
TEST(LinuxSysctl, EmptyRootKnowsOnlyTheArchitecture) {
  SysctlTable t = linux_sysctl::read(linux_fs::Root(tree("does-not-exist")), "riscv64");
  EXPECT_EQ(integer(t, "hw.cputype"), 0);  // no Mach type: "unknown" above the seam
  EXPECT_EQ(text(t, "machdep.cpu.brand_string"), std::nullopt);
  EXPECT_EQ(integer(t, "hw.perflevel0.logicalcpu"), std::nullopt);
  SysctlTable noArch = linux_sysctl::read(linux_fs::Root(tree("does-not-exist")), "");
  EXPECT_EQ(integer(noArch, "hw.cputype"), std::nullopt);
}

TEST(LinuxSysctl, ArchitectureToMachType) {
  const std::pair<const char*, int32_t> cases[] = {
      {"aarch64", 0x0100000C}, {"arm64", 0x0100000C},   {"x86_64", 0x01000007}, {"i686", 7},
      {"armv7l", 12},          {"ppc64le", 0x01000012}, {"riscv64", 0},         {"", 0}};
  for (const auto& [arch, type] : cases)
    EXPECT_EQ(linux_sysctl::cpuTypeForArch(arch), type) << arch;
}

TEST(LinuxSysctl, BrandFromDeviceTree) {
  using namespace std::string_literals;
  const std::pair<std::string, std::optional<std::string>> cases[] = {
      {"apple,j316s\0apple,t6000\0apple,arm-platform\0"s, "Apple M1 Pro"},
      {"apple,j414c\0apple,t6021\0apple,arm-platform\0"s, "Apple M2 Max"},
      {"apple,j999\0apple,t9999\0apple,arm-platform\0"s, "Apple T9999"},
      {"raspberrypi,4-model-b\0brcm,bcm2711\0"s, "Brcm BCM2711"},
      {"\0\0"s, std::nullopt},
      {""s, std::nullopt},
  };
  for (const auto& [compatible, brand] : cases) {
    EXPECT_EQ(linux_sysctl::brandFromDeviceTree(compatible), brand);
  }
}

TEST(ProcStat, FoldsKernelStatesIntoFour) {
  struct Case {
    const char* text;
    std::vector<CPUTicks> expected;
  };
  const Case cases[] = {
      // user nice system idle iowait irq softirq steal guest guest_nice
      {"cpu  9 9 9 9\ncpu0 100 5 50 800 20 3 2 1 7 0\n", {{0, 100, 56, 820, 5}}},
      {"cpu1 10 0 20 30\ncpu3 1 2 3 4 5\n", {{1, 10, 20, 30, 0}, {3, 1, 3, 9, 2}}},
      {"cpu0 1 2 3\ncpuX 1 2 3 4\ncpu2 1 two 3 4\nintr 5\ncpu4 4 3 2 1\n", {{4, 4, 2, 1, 3}}},
      // Negative or absurd counts are malformed rather than summed into an overflow.
      {"cpu0 -1 2 3 4\ncpu1 1 2 3 4 5 6 7 99999999999999999999\n", {}},
      {"", {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    auto ticks = parseProcStat(c.text);
    ASSERT_EQ(ticks.size(), c.expected.size());
    for (size_t i = 0; i < ticks.size(); ++i) {
      EXPECT_EQ(ticks[i].cpuNum, c.expected[i].cpuNum);
      EXPECT_EQ(ticks[i].user, c.expected[i].user);
      EXPECT_EQ(ticks[i].system, c.expected[i].system);
      EXPECT_EQ(ticks[i].idle, c.expected[i].idle);
      EXPECT_EQ(ticks[i].nice, c.expected[i].nice);
    }
  }
}

TEST(ProcStat, CapturedTreesListEveryOnlineCPU) {
  const std::pair<const char*, size_t> cases[] = {
      {"vm-minimal", 2}, {"intel-hybrid-laptop", 16}, {"amd-desktop", 24}, {"arm-rk3588", 8}};
  for (const auto& [name, count] : cases) {
    LinuxProcessorLoad load{linux_fs::Root(tree(name))};
    auto ticks = load.read();
    ASSERT_EQ(ticks.size(), count) << name;
    for (size_t i = 0; i < ticks.size(); ++i) {
      EXPECT_EQ(ticks[i].cpuNum, static_cast<int64_t>(i));
      EXPECT_GT(ticks[i].idle, 0);
    }
  }
  EXPECT_TRUE(LinuxProcessorLoad{linux_fs::Root(tree("does-not-exist"))}.read().empty());
}

TEST(SysfsReader, CPUList) {
  const std::pair<const char*, std::optional<std::vector<int>>> cases[] = {
      {"0-3", std::vector<int>{0, 1, 2, 3}},
      {"0,2,4-5\n", std::vector<int>{0, 2, 4, 5}},
      {"7", std::vector<int>{7}},
      {"8-11,0-1", std::vector<int>{0, 1, 8, 9, 10, 11}},
      {"3,3,3", std::vector<int>{3}},
      {"", std::vector<int>{}},
      {"\n", std::vector<int>{}},
      {"3-1", std::nullopt},
      {"0-", std::nullopt},
      {"-1", std::nullopt},
      {"a-b", std::nullopt},
      {"0-99999999", std::nullopt},
  };
  for (const auto& [text, cpus] : cases)
    EXPECT_EQ(linux_fs::parseCPUList(text), cpus) << text;
  // Ranges each within bounds still may not add up to a huge list.
  EXPECT_EQ(linux_fs::parseCPUList("0-65535,0-65535"), std::nullopt);
}

TEST(SysfsReader, IntegersAndNaturalOrder) {
  EXPECT_EQ(linux_fs::parseInteger(" 0x1002\n"), 0x1002);
  EXPECT_EQ(linux_fs::parseInteger("-42"), -42);
  EXPECT_EQ(linux_fs::parseInteger("12abc"), std::nullopt);
  EXPECT_EQ(linux_fs::parseInteger(""), std::nullopt);
  std::vector<std::string> names = {"hwmon10",        "hwmon2",      "card1",
                                    "hwmon1",         "card0-eDP-1", "policy16",
                                    "intel-rapl:0:0", "policy4",     "intel-rapl:0"};
  std::sort(names.begin(), names.end(), linux_fs::naturalLess);
  EXPECT_EQ(names,
            (std::vector<std::string>{"card0-eDP-1", "card1", "hwmon1", "hwmon2", "hwmon10",
                                      "intel-rapl:0", "intel-rapl:0:0", "policy4", "policy16"}));
  EXPECT_FALSE(linux_fs::naturalLess("card1", "card1"));
  // A leading slash cannot take a path out of the root.
  EXPECT_EQ(linux_fs::Root("/r").at("/proc/stat"), linux_fs::Root("/r").at("proc/stat"));
}

}  // namespace
