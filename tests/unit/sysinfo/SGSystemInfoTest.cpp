// Processor type, brand strings and core counts over a fake sysctl.
#include <gtest/gtest.h>

#include <cstring>

#include "FakePlatform.h"
#include "app/metrics/sysinfo/SGSystemInfo.h"

namespace {

// A sysctl that hands out raw bytes, including values no well-behaved table would hold.
class RawSysctl : public platform::Sysctl {
 public:
  std::optional<std::string> bytes;  // nullopt: unknown name
  bool failSecondCall = false;
  int calls = 0;
  int sysctlbyname(std::string_view, void* oldp, size_t* oldlenp) override {
    ++calls;
    if (!bytes || (failSecondCall && oldp)) return -1;
    if (!oldp) {
      *oldlenp = bytes->size();
      return 0;
    }
    *oldlenp = std::min(*oldlenp, bytes->size());
    std::memcpy(oldp, bytes->data(), *oldlenp);
    return 0;
  }
};

TEST(SGSystemInfo, CPUType) {
  struct Case {
    std::optional<platform::SysctlTable::Entry> value;
    const char* type;
  };
  const Case cases[] = {
      {int32_t{16777228}, "ARM"},
      {int32_t{16777223}, "x86"},
      {int32_t{12}, "ARM"},
      {int32_t{7}, "x86"},
      {int32_t{18}, "unknown"},
      {int32_t{0}, "unknown"},
      {int64_t{-1}, "error in CPU type"},
      // A 32-bit -1 fills only the low half, so it is not the -1 the error test looks for.
      {int32_t{-1}, "unknown"},
      {std::nullopt, "error in CPU type"},
  };
  for (const auto& c : cases) {
    platform::SysctlTable t;
    if (c.value) t.set("hw.cputype", *c.value);
    EXPECT_EQ(SGSystemInfo::cpuType(t), c.type);
  }
}

TEST(SGSystemInfo, Integers) {
  platform::SysctlTable t;
  t.set("a32", int32_t{42});
  t.set("neg32", int32_t{-2});
  t.set("a64", int64_t{17179869184});
  EXPECT_EQ(SGSystemInfo::sysctlInteger(t, "a32"), 42);
  EXPECT_EQ(SGSystemInfo::sysctlInteger(t, "neg32"), 0xFFFFFFFEll);  // high half stays 0
  EXPECT_EQ(SGSystemInfo::sysctlInteger(t, "a64"), 17179869184ll);
  EXPECT_EQ(SGSystemInfo::sysctlInteger(t, "missing"), std::nullopt);
}

TEST(SGSystemInfo, Strings) {
  using namespace std::string_literals;
  struct Case {
    std::optional<std::string> bytes;
    std::string expected;
  };
  const Case cases[] = {
      {"Apple M1\0"s, "Apple M1"},
      {"Apple M1\0junk after the zero\0"s, "Apple M1"},
      {"no zero byte"s, ""},
      {""s, ""},
      {"\0"s, ""},
      {"caf\xC3\xA9\0"s, "caf\xC3\xA9"},
      {"bad \xFF byte\0"s, "bad \xEF\xBF\xBD byte"},  // replaced by U+FFFD
      {std::nullopt, ""},
  };
  for (const auto& c : cases) {
    RawSysctl s;
    s.bytes = c.bytes;
    EXPECT_EQ(SGSystemInfo::sysctlString(s, "machdep.cpu.brand_string"), c.expected);
  }
  RawSysctl failing;
  failing.bytes = "Apple M1\0"s;
  failing.failSecondCall = true;
  EXPECT_EQ(SGSystemInfo::sysctlString(failing, "hw.model"), "");
  EXPECT_EQ(failing.calls, 2);
}

TEST(SGSystemInfo, BrandAndModelNames) {
  platform::SysctlTable t;
  t.set("machdep.cpu.brand_string", std::string("Apple M2 Pro"));
  t.set("hw.model", std::string("Mac14,10"));
  EXPECT_EQ(SGSystemInfo::cpuBrand(t), "Apple M2 Pro");
  EXPECT_EQ(SGSystemInfo::machineModel(t), "Mac14,10");
}

TEST(SGSystemInfo, CoreCountsFallBackToFour) {
  struct Case {
    std::optional<int32_t> perf0, perf1;
    int64_t pCores, eCores;
  };
  const Case cases[] = {
      {4, 4, 4, 4},
      {8, 4, 8, 4},
      {12, 0, 12, 0},
      {std::nullopt, std::nullopt, 4, 4},
      {6, std::nullopt, 6, 4},
  };
  for (const auto& c : cases) {
    platform::SysctlTable t;
    if (c.perf0) t.set("hw.perflevel0.logicalcpu", *c.perf0);
    if (c.perf1) t.set("hw.perflevel1.logicalcpu", *c.perf1);
    EXPECT_EQ(SGSystemInfo::performanceCoreCount(t), c.pCores);
    EXPECT_EQ(SGSystemInfo::efficiencyCoreCount(t), c.eCores);
  }
}

TEST(SGSystemInfo, ProcessorGate) {
  // The gated type is what the helper manager compares with "ARM": a platform whose sampler runs
  // on any processor must pass, and a refused one must never read as "ARM".
  struct Case {
    bool needsAppleSilicon;
    std::optional<int32_t> cputype;
    bool refused;
    const char* gated;
  };
  const Case cases[] = {
      {true, 16777228, false, "ARM"},  {true, 16777223, true, "x86"},
      {true, 18, true, "unknown"},     {true, std::nullopt, true, "error in CPU type"},
      {false, 16777223, false, "ARM"}, {false, std::nullopt, false, "ARM"},
  };
  for (const auto& c : cases) {
    FakePlatform p;
    p.needsAppleSilicon = c.needsAppleSilicon;
    if (c.cputype) p.table.set("hw.cputype", *c.cputype);
    EXPECT_EQ(SGSystemInfo::processorRefused(p), c.refused);
    EXPECT_EQ(SGSystemInfo::gatedProcessorType(p), c.gated);
  }
}

}  // namespace
