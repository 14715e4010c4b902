// The pieces both back ends share: sysctl byte semantics, the SMC record protocol, the sim
// platform's derived behaviour and the choice of platform.
#include <gtest/gtest.h>

#include <cstring>

#include "platform/Platform.h"
#include "platform/SMCEmulator.h"
#include "platform/SysctlTable.h"
#include "platform/sim/SimPlatform.h"

namespace {

using namespace platform;

TEST(SysctlTable, ByteSemantics) {
  SysctlTable t;
  t.set("int32", int32_t{-2});
  t.set("int64", int64_t{1} << 40);
  t.set("text", std::string("Apple M1"));

  struct Case {
    const char* name;
    size_t bufferSize;  // 0: size query with a null buffer
    int result;
    size_t reported;
  };
  const Case cases[] = {
      {"int32", 0, 0, 4}, {"int32", 8, 0, 4}, {"int64", 0, 0, 8}, {"int64", 8, 0, 8},
      {"text", 0, 0, 9},  {"text", 4, 0, 4},  {"text", 64, 0, 9}, {"missing", 8, -1, 8},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.name) + " " + std::to_string(c.bufferSize));
    uint8_t buffer[64];
    std::memset(buffer, 0xAA, sizeof buffer);
    size_t len = c.bufferSize;
    EXPECT_EQ(t.sysctlbyname(c.name, c.bufferSize ? buffer : nullptr, &len), c.result);
    EXPECT_EQ(len, c.reported);
    if (c.bufferSize) {
      EXPECT_EQ(buffer[c.reported], 0xAA) << "wrote past the reported size";
    }
  }
  EXPECT_EQ(t.sysctlbyname("int32", nullptr, nullptr), -1);
}

// Builds a request record as the SMC reader does.
SMCUserClient::Record request(uint8_t command, std::string_view key, uint32_t index = 0) {
  SMCUserClient::Record r{};
  const uint32_t code = fourCharCode(key);
  std::memcpy(r.data(), &code, 4);
  const uint32_t size = 4;
  std::memcpy(r.data() + 28, &size, 4);
  r[42] = command;
  std::memcpy(r.data() + 44, &index, 4);
  return r;
}

uint32_t field(const SMCUserClient::Record& r, size_t offset) {
  uint32_t v;
  std::memcpy(&v, r.data() + offset, 4);
  return v;
}

TEST(SMCEmulator, AnswersTheFourRequests) {
  SMCEmulator smc([] {
    return std::vector<SMCKey>{{"Tp01", "flt ", fltBytes(40.0f)}, {"Tg05", "fpe2", {0x0B, 0x40}}};
  });
  uint32_t conn = 0;
  ASSERT_EQ(smc.serviceOpen(&conn), 0);
  ASSERT_NE(conn, 0u);
  SMCUserClient::Record out{};

  ASSERT_EQ(smc.callStructMethod(conn, 2, request(5, "#KEY"), out), 0);
  EXPECT_EQ(std::vector<uint8_t>(out.begin() + 48, out.begin() + 52),
            (std::vector<uint8_t>{0, 0, 0, 2}));

  ASSERT_EQ(smc.callStructMethod(conn, 2, request(8, "", 1), out), 0);
  EXPECT_EQ(fourCharString(field(out, 0)), "Tg05");

  ASSERT_EQ(smc.callStructMethod(conn, 2, request(9, "Tg05"), out), 0);
  EXPECT_EQ(field(out, 28), 2u);
  EXPECT_EQ(fourCharString(field(out, 32)), "fpe2");

  ASSERT_EQ(smc.callStructMethod(conn, 2, request(5, "Tp01"), out), 0);
  EXPECT_EQ(std::vector<uint8_t>(out.begin() + 48, out.begin() + 52),
            (std::vector<uint8_t>{0x00, 0x00, 0x20, 0x42}));

  // Failures: unknown key, index past the end, unknown command, wrong selector, wrong handle.
  EXPECT_NE(smc.callStructMethod(conn, 2, request(5, "Tx99"), out), 0);
  EXPECT_NE(smc.callStructMethod(conn, 2, request(9, "Tx99"), out), 0);
  EXPECT_NE(smc.callStructMethod(conn, 2, request(8, "", 2), out), 0);
  EXPECT_NE(smc.callStructMethod(conn, 2, request(7, "Tp01"), out), 0);
  EXPECT_NE(smc.callStructMethod(conn, 3, request(5, "Tp01"), out), 0);
  EXPECT_NE(smc.callStructMethod(conn + 1, 2, request(5, "Tp01"), out), 0);
  smc.serviceClose(conn);
  EXPECT_NE(smc.callStructMethod(conn, 2, request(5, "Tp01"), out), 0);
}

TEST(SMCEmulator, NoKeysMeansNoService) {
  SMCEmulator smc([] { return std::vector<SMCKey>{}; });
  uint32_t conn = 77;
  EXPECT_EQ(smc.serviceOpen(&conn), std::nullopt);
  EXPECT_EQ(conn, 77u);
}

TEST(SMCEmulator, FourCharCodes) {
  EXPECT_EQ(fourCharCode("Tp01"), 0x54703031u);
  EXPECT_EQ(fourCharString(0x54703031u), "Tp01");
  EXPECT_EQ(fourCharCode(""), 0u);
  EXPECT_EQ(fourCharCode("xTp01"), 0x54703031u);  // only the last four bytes remain
}

class FixedLoad : public ProcessorLoad {
 public:
  explicit FixedLoad(std::vector<CPUTicks> t) : ticks(std::move(t)) {}
  std::vector<CPUTicks> read() override { return ticks; }
  std::vector<CPUTicks> ticks;
};

TEST(SimPlatform, VirtualCPUsFollowTheHost) {
  struct Case {
    int virtualCPUs;
    std::vector<CPUTicks> host;
    std::vector<int64_t> userOfEach;
  };
  const Case cases[] = {
      {4, {{0, 10, 1, 1, 0}, {1, 20, 1, 1, 0}}, {10, 20, 10, 20}},
      {2, {{0, 10, 1, 1, 0}, {1, 20, 1, 1, 0}, {2, 30, 1, 1, 0}}, {10, 20}},
      {3, {}, {}},
      {0, {{0, 10, 1, 1, 0}}, {}},
  };
  for (const auto& c : cases) {
    sim::SimProcessorLoad load(c.virtualCPUs, std::make_unique<FixedLoad>(c.host));
    auto ticks = load.read();
    ASSERT_EQ(ticks.size(), c.userOfEach.size());
    for (size_t i = 0; i < ticks.size(); ++i) {
      EXPECT_EQ(ticks[i].cpuNum, static_cast<int64_t>(i));
      EXPECT_EQ(ticks[i].user, c.userOfEach[i]);
    }
  }
}

TEST(SimPlatform, HIDAnswersOnlyTheTemperatureUsage) {
  sim::SimHIDEventSystem hid({{plist::Value(0x54703069), 41.5}, {plist::Value("x"), std::nullopt}});
  auto services = hid.copyServices(0xFF00, 5);
  ASSERT_TRUE(services);
  ASSERT_EQ(services->size(), 2u);
  EXPECT_EQ((*services)[0]->copyProperty("LocationID").integer(), 0x54703069);
  EXPECT_TRUE((*services)[0]->copyProperty("Product").isNone());
  EXPECT_EQ((*services)[0]->copyEventFloatValue(15, 15 << 16), 41.5);
  EXPECT_EQ((*services)[0]->copyEventFloatValue(15, 0), std::nullopt);
  EXPECT_EQ((*services)[1]->copyEventFloatValue(15, 15 << 16), std::nullopt);
  EXPECT_TRUE(hid.copyServices(0xFF00, 4)->empty());
}

TEST(PlatformFactory, Specs) {
  struct Case {
    std::string spec;
    std::string name;   // empty: an error is expected
    std::string error;  // part of the message
  };
  const std::string broken = std::string(FERROLUX_FIXTURES_DIR) + "/sysinfo/broken-profile.plist";
  const Case cases[] = {
      {"linux", "linux", ""},
      {"sim:macmini-m1", "sim:macmini-m1", ""},
      {"sim:" + std::string(FERROLUX_SOURCE_DIR) + "/data/profiles/macbookpro-m3max.plist",
       "sim:" + std::string(FERROLUX_SOURCE_DIR) + "/data/profiles/macbookpro-m3max.plist", ""},
      {"sim:", "", "needs a profile name"},
      {"sim:no-such-mac", "", "no sim profile \"no-such-mac\""},
      {"sim:" + broken, "", "smc entry 1: \"key\""},
      {"darwin", "", "unknown platform \"darwin\""},
      {"", "", "unknown platform"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.spec);
    CreateResult r = create(c.spec);
    if (c.name.empty()) {
      EXPECT_EQ(r.platform, nullptr);
      EXPECT_NE(r.error.find(c.error), std::string::npos) << r.error;
    } else {
      ASSERT_NE(r.platform, nullptr) << r.error;
      EXPECT_EQ(r.platform->name(), c.name);
      EXPECT_EQ(r.platform->samplerNeedsAppleSilicon(), c.spec != "linux");
    }
  }
}

TEST(PlatformFactory, SimToolsSeeTheProfile) {
  CreateResult r = create("sim:macbookpro-m2pro");
  ASSERT_NE(r.platform, nullptr) << r.error;
  auto env = r.platform->toolEnvironment();
  ASSERT_EQ(env.size(), 1u);
  EXPECT_EQ(env[0].first, "FERROLUX_SIM_PROFILE");
  EXPECT_EQ(env[0].second.front(), '/');
  EXPECT_NE(env[0].second.find("macbookpro-m2pro.plist"), std::string::npos);
  EXPECT_TRUE(r.platform->isOSAtLeast(13));
  EXPECT_FALSE(r.platform->isOSAtLeast(13, 6));
  EXPECT_EQ(r.platform->ioRegistry().servicesMatching("IOAccelerator")->size(), 1u);
  EXPECT_TRUE(r.platform->ioRegistry().servicesMatching("AppleSMC")->empty());
  EXPECT_EQ(r.platform->gpuStatistics(), nullptr);
  EXPECT_EQ(r.platform->toolPaths().nice, "/usr/bin/nice");
}

TEST(PlatformFactory, CurrentIsChosenOnce) {
  auto first = create("sim:macmini-m1");
  Platform* chosen = first.platform.get();
  ASSERT_TRUE(setCurrent(std::move(first.platform)));
  EXPECT_EQ(&current(), chosen);
  EXPECT_FALSE(setCurrent(create("linux").platform));
  EXPECT_EQ(&current(), chosen);
  EXPECT_FALSE(setCurrent(nullptr));
}

// The virtual chip warms with its load: idle readings are the profile's, a half-busy chip reads
// half the full-load rise above them, and a sensor without a reading stays without one.
TEST(SimThermal, TemperaturesFollowTheLoad) {
  struct Ticks : ProcessorLoad {
    std::vector<CPUTicks> now{{0, 0, 0, 0, 0}};
    std::vector<CPUTicks> read() override { return now; }
  };
  auto host = std::make_unique<Ticks>();
  Ticks& ticks = *host;
  // The profile keeps the "fpe2" decoding edge case that no shipped profile has.
  auto loaded = sim::loadProfile(FERROLUX_FIXTURES_DIR "/sysinfo/fpe2-gpu-profile.plist");
  ASSERT_TRUE(loaded.profile) << loaded.error;
  ASSERT_EQ(loaded.profile->cpuCount, 1);
  sim::SimPlatform machine(std::move(*loaded.profile), "t", std::move(host));

  auto readSMC = [&] {
    uint32_t conn = 0;
    EXPECT_TRUE(machine.smc().serviceOpen(&conn));
    std::vector<float> values;
    for (const char* key : {"Tp01", "Tg05", "Tp05", "F0Ac"}) {
      SMCUserClient::Record in{}, out{};
      const uint32_t code = fourCharCode(key);
      std::memcpy(in.data(), &code, 4);
      in[42] = 5;
      EXPECT_EQ(machine.smc().callStructMethod(conn, 2, in, out), 0);
      float f = 0;
      std::memcpy(&f, out.data() + 48, 4);
      values.push_back(key == std::string("Tg05") ? float((out[48] << 6) | (out[49] >> 2)) : f);
    }
    machine.smc().serviceClose(conn);
    return values;
  };
  auto readHID = [&] {
    std::vector<std::optional<double>> values;
    auto services = machine.hid().copyServices(0xFF00, 5);
    for (const auto& s : *services)
      values.push_back(s->copyEventFloatValue(15, 15 << 16));
    return values;
  };

  EXPECT_EQ(readSMC(), (std::vector<float>{40, 720, 0, 1200}));
  ticks.now = {{0, 30, 20, 50, 0}};  // half busy since the last reading
  EXPECT_EQ(readSMC(), (std::vector<float>{50, 730, 0, 1200}));
  ticks.now = {{0, 130, 20, 50, 0}};  // fully busy since
  EXPECT_EQ(readHID(), (std::vector<std::optional<double>>{61.0, std::nullopt}));
}

}  // namespace
