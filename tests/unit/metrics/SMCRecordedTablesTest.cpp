// Key tables recorded on real Apple Silicon Macs (tests/fixtures/smc), served by the SMC emulator
// that the sim back end uses and read by the SMC temperature reader: discovery, the decoding of
// the recorded bytes, dropping non-positive readings and the "M2" rule on real data.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "app/metrics/smc/SGM1SMCSensorTemperature.h"
#include "platform/SMCEmulator.h"
#include "platform/SysctlTable.h"
#include "unit/core/Numbers.h"

namespace {

struct RecordedTable {
  std::vector<platform::SMCKey> keys;
  std::map<std::string, double> printed;  // the recording tool's own decoding, where it gave one
};

// Lines as `smc -l` prints them: `  Tp01  [flt ]  37.92153 (bytes a6 af 17 42)`.
RecordedTable loadRecording(const std::string& name) {
  std::ifstream in(std::string(FERROLUX_FIXTURES_DIR) + "/smc/" + name + ".txt");
  EXPECT_TRUE(in) << name;
  static const std::regex line(
      R"(^\s*(\S{4})\s+\[(.{4})\]\s+(-?[0-9.e+-]+)?\s*\(bytes([0-9a-f ]*)\)\s*$)");
  RecordedTable table;
  std::string text;
  while (std::getline(in, text)) {
    std::smatch m;
    if (!std::regex_match(text, m, line)) {
      ADD_FAILURE() << name << ": unreadable line: " << text;
      continue;
    }
    platform::SMCKey key{m[1], m[2], {}};
    std::istringstream hex(m[4]);
    unsigned byte = 0;
    while (hex >> std::hex >> byte)
      key.bytes.push_back(static_cast<uint8_t>(byte));
    if (m[3].matched) table.printed[key.key] = fxtest::number(m[3].str());
    table.keys.push_back(std::move(key));
  }
  return table;
}

std::vector<std::string> keysOf(const std::map<std::string, double>& readings) {
  std::vector<std::string> out;
  for (const auto& [key, value] : readings)
    out.push_back(key);
  return out;
}

std::vector<std::string> split(const std::string& text) {
  std::istringstream in(text);
  std::vector<std::string> out;
  for (std::string word; in >> word;)
    out.push_back(word);
  std::sort(out.begin(), out.end());
  return out;
}

TEST(SMCRecordedTables, ReaderOverEmulatorMatchesTheRecording) {
  struct Case {
    const char* machine;
    const char* brand;
    const char* cpu;   // keys in the CPU result
    const char* gpu;   // keys in the GPU result
    size_t available;  // table keys found by discovery, readable or not
    double cpuAll;     // > 0: every CPU reading becomes this ("Te05" on an M2); else as recorded
    // For a recording without printed values: every reading, worked out from its bytes by hand.
    std::map<std::string, double> fromBytes = {};
  };
  const Case cases[] = {
      // Bytes only, and many core sensors outside the table (Tp00, Tp02, ...) to skip.
      {"apple-m1-max",
       "Apple M1 Max",
       "Tp01 Tp05 Tp09 Tp0D Tp0H Tp0L Tp0P Tp0T Tp0X Tp0b",
       "Tg05 Tg0D Tg0L Tg0T",
       14,
       0,
       {{"Tp01", 50.7609406},
        {"Tp05", 53.2231026},
        {"Tp09", 52.3010178},
        {"Tp0D", 53.8597946},
        {"Tp0H", 51.7178192},
        {"Tp0L", 48.3420219},
        {"Tp0P", 47.5961723},
        {"Tp0T", 47.8400993},
        {"Tp0X", 48.3602448},
        {"Tp0b", 47.0998688},
        {"Tg05", 45.7387505},
        {"Tg0D", 44.8377953},
        {"Tg0L", 43.9711838},
        {"Tg0T", 44.7432556}}},
      {"apple-m2", "Apple M2", "Tp01 Tp05 Tp09 Tp0D Tp0b Tp0f Tp0j", "Tg0f", 8, 0},
      {"apple-m2-max", "Apple M2 Max",
       "Tp01 Tp05 Tp09 Tp0D Tp0X Tp0b Tp0f Tp0j Tp17 Tp1B Tp1F Tp1J Tp1N Tp1h Tp1l Tp1p Tp1t Tp2H",
       "Tg0X Tg0f Tg0j Tg1h Tg1l Tg2X Tg2f Tg3Z", 26, 36.15611},
      // The GPU sensors read below zero on this idle machine: all dropped.
      {"apple-m3-max", "Apple M3 Max", "Tp05 Tp0D Tp0L Tp0T Tp0b Tp17 Tp1F Tp1J Tp1h Tp1p Tp2H", "",
       15, 0},
      // "Tp1t" reads 4 °C; no substitution on a chip that is not an M2.
      {"apple-m4-max", "Apple M4 Max",
       "Tp01 Tp05 Tp09 Tp0D Tp0H Tp0L Tp0P Tp0T Tp0X Tp0b Tp0f Tp1t",
       "Tg05 Tg0L Tg0X Tg0j Tg1l Tg2X Tg2f Tg3Z", 20, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.machine);
    const RecordedTable recorded = loadRecording(c.machine);
    ASSERT_GT(recorded.keys.size(), 100u);
    platform::SMCEmulator smc([keys = recorded.keys] { return keys; });
    platform::SysctlTable sysctl;
    sysctl.set("machdep.cpu.brand_string", std::string(c.brand));
    SGM1SMCSensorTemperature reader(smc, sysctl);
    EXPECT_EQ(reader.availableTemperatureKeys().size(), c.available);

    const TemperatureReadings cpu = reader.readCPUTemperatures();
    const TemperatureReadings gpu = reader.readGPUTemperatures();
    EXPECT_EQ(keysOf(cpu), split(c.cpu));
    EXPECT_EQ(keysOf(gpu), split(c.gpu));

    // The reader decodes the recorded bytes; the recording tool printed the shortest text that
    // names the same single-precision value, so the two agree exactly as floats.
    auto expectRecorded = [&](const TemperatureReadings& readings, double all) {
      for (const auto& [key, value] : readings) {
        const auto printed = recorded.printed.find(key);
        const bool known =
            all > 0 || printed != recorded.printed.end() || c.fromBytes.contains(key);
        ASSERT_TRUE(known) << key << ": no recorded value to compare with";
        const double want = all > 0                             ? all
                            : printed != recorded.printed.end() ? printed->second
                                                                : c.fromBytes.at(key);
        EXPECT_EQ(static_cast<float>(value), static_cast<float>(want)) << key;
      }
    };
    for (const auto& [key, value] : c.fromBytes)
      EXPECT_TRUE(cpu.contains(key) || gpu.contains(key)) << key;
    expectRecorded(cpu, c.cpuAll);
    expectRecorded(gpu, 0);
  }
}

}  // namespace
