// Finding the Apple accelerator among the registry's services, and the fallbacks where there is
// no registry.
#include <gtest/gtest.h>

#include "FakePlatform.h"
#include "app/metrics/sysinfo/ModuleModelMainTitle.h"
#include "app/metrics/sysinfo/SGSystemGPUInfo.h"

namespace {

using Service = std::optional<plist::Value>;
const plist::Bytes kApple = {0x6B, 0x10, 0x00, 0x00};

Service accelerator(plist::Bytes vendor, std::optional<std::string> model, plist::Value stats) {
  plist::Dict d{{"vendor-id", plist::Value(std::move(vendor))},
                {"IOClass", plist::Value("AGXAccelerator")}};
  if (model) d["model"] = plist::Value(*model);
  if (!stats.isNone()) d["PerformanceStatistics"] = stats;
  return plist::Value(std::move(d));
}

plist::Value stats(plist::Value percent) {
  plist::Dict d{{"Tiler Utilization %", plist::Value(3)}};
  if (!percent.isNone()) d["Device Utilization %"] = percent;
  return plist::Value(std::move(d));
}

TEST(SGSystemGPUInfo, RegistryWalk) {
  struct Case {
    const char* what;
    std::vector<Service> services;
    std::optional<std::string> name;
    double utilization;
  };
  const Case cases[] = {
      {"apple accelerator", {accelerator(kApple, "Apple M2", stats(37))}, "Apple M2", 0.37},
      {"real percentage", {accelerator(kApple, "Apple M2", stats(12.5))}, "Apple M2", 0.125},
      {"three-byte vendor", {accelerator({0x6B, 0x10, 0x00}, "X", stats(37))}, std::nullopt, 0},
      {"eight-byte vendor",
       {accelerator({0x6B, 0x10, 0, 0, 0, 0, 0, 0}, "X", stats(37))},
       std::nullopt,
       0},
      {"other vendor", {accelerator({0x6B, 0x10, 0x00, 0x01}, "X", stats(37))}, std::nullopt, 0},
      {"big-endian vendor",
       {accelerator({0x00, 0x00, 0x10, 0x6B}, "X", stats(37))},
       std::nullopt,
       0},
      {"no model", {accelerator(kApple, std::nullopt, stats(50))}, "Unknown", 0.5},
      {"first lacks statistics",
       {accelerator(kApple, "First", plist::Value()), accelerator(kApple, "Second", stats(20))},
       "Second",
       0.2},
      {"statistics not a dictionary",
       {accelerator(kApple, "Only", plist::Value("busy"))},
       std::nullopt,
       0},
      {"no utilization entry",
       {accelerator(kApple, "Apple M1", stats(plist::Value()))},
       "Apple M1",
       0},
      {"utilization not a number",
       {accelerator(kApple, "Apple M1", stats(plist::Value("37")))},
       "Apple M1",
       0},
      {"unreadable and empty services skipped",
       {std::nullopt, plist::Value(plist::Dict{}), accelerator(kApple, "Apple M3", stats(5))},
       "Apple M3",
       0.05},
      {"non-apple before apple",
       {accelerator({0x02, 0x10, 0, 0}, "AMD", stats(90)), accelerator(kApple, "Apple", stats(9))},
       "Apple",
       0.09},
      {"no services", {}, std::nullopt, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    auto [name, utilization] = SGSystemGPUInfo::fromRegistry(c.services);
    EXPECT_EQ(name, c.name);
    EXPECT_DOUBLE_EQ(utilization, c.utilization);
  }
}

TEST(SGSystemGPUInfo, SourcesInOrder) {
  struct Case {
    const char* what;
    bool registryAnswers;
    std::optional<platform::GPUReading> statistics;
    std::optional<std::string> name;
    double utilization;
  };
  const Case cases[] = {
      {"registry wins", true, platform::GPUReading{"AMD GPU", 0.5, {}}, "Apple M1", 0.07},
      {"statistics without registry", false, platform::GPUReading{"AMD GPU", 0.5, {}}, "AMD GPU",
       0.5},
      {"statistics clamped", false, platform::GPUReading{"AMD GPU", 1.7, {}}, "AMD GPU", 1.0},
      {"statistics without a GPU", false, platform::GPUReading{std::nullopt, 0.3, {}}, std::nullopt,
       0},
      {"nothing at all", false, std::nullopt, std::nullopt, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    FakePlatform p;
    if (c.registryAnswers) {
      p.registry.services = std::vector<Service>{accelerator(kApple, "Apple M1", stats(7))};
    }
    if (c.statistics) {
      p.gpu = std::make_unique<FakeGPU>();
      p.gpu->reading = *c.statistics;
    }
    auto [name, utilization] = SGSystemGPUInfo::readGPUInfo(p);
    EXPECT_EQ(name, c.name);
    EXPECT_DOUBLE_EQ(utilization, c.utilization);
  }
}

TEST(ModuleModelMainTitle, ReadsEveryFact) {
  FakePlatform p;
  p.table.set("machdep.cpu.brand_string", std::string("Apple M2"));
  p.table.set("hw.perflevel0.logicalcpu", int32_t{4});
  p.table.set("hw.perflevel1.logicalcpu", int32_t{4});
  p.registry.services = std::vector<Service>{accelerator(kApple, "Apple M2", stats(1))};
  p.tools.systemProfiler = std::string(FERROLUX_FIXTURES_DIR) + "/sysinfo/fake-system-profiler";
  p.env = {
      {"FAKE_PROFILER_DOCUMENT", std::string(FERROLUX_FIXTURES_DIR) + "/sysinfo/displays-m2.xml"}};
  ModuleModelMainTitle title(p);
  EXPECT_EQ(title.appleSiliconName(), "Apple M2");
  EXPECT_EQ(title.gpuName(), "Apple M2");
  EXPECT_EQ(title.numberOfECore(), 4);
  EXPECT_EQ(title.numberOfPCore(), 4);
  EXPECT_EQ(title.numberOfGPUCore(), 10);
}

TEST(ModuleModelMainTitle, EveryFallback) {
  FakePlatform p;  // no sysctl values, no registry, no GPU statistics, no tool
  ModuleModelMainTitle title(p);
  EXPECT_EQ(title.appleSiliconName(), "");
  EXPECT_EQ(title.gpuName(), "Unknown");
  EXPECT_EQ(title.numberOfECore(), 4);
  EXPECT_EQ(title.numberOfPCore(), 4);
  EXPECT_EQ(title.numberOfGPUCore(), -1);
}

}  // namespace
