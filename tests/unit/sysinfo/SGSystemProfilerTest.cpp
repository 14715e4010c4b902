// The GPU core count from the system_profiler document: the document rules, the text rules, and
// running a tool through the platform's tool path and environment.
#include <gtest/gtest.h>

#include "FakePlatform.h"
#include "app/metrics/sysinfo/SGSystemProfiler.h"

namespace {

const std::string kFixtures = std::string(FERROLUX_FIXTURES_DIR) + "/sysinfo/";

std::string xml(const std::string& body) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?><plist version=\"1.0\">" + body + "</plist>";
}

TEST(SGSystemProfiler, DocumentShapes) {
  const std::pair<std::string, bool> cases[] = {
      {xml("<array><dict><key>_items</key><array><dict><key>a</key><string>b</string></dict>"
           "</array></dict></array>"),
       true},
      {xml("<array><dict><key>_items</key><array><dict/></array></dict></array>"), true},
      {xml("<array/>"), false},
      {xml("<dict><key>_items</key><array><dict/></array></dict>"), false},
      {xml("<array><string>x</string></array>"), false},
      {xml("<array><dict/></array>"), false},
      {xml("<array><dict><key>_items</key><dict/></dict></array>"), false},
      {xml("<array><dict><key>_items</key><array/></dict></array>"), false},
      {xml("<array><dict><key>_items</key><array><string>x</string></array></dict></array>"),
       false},
      {"this is not a property list", false},
      {"", false},
  };
  for (const auto& [text, hasItems] : cases) {
    EXPECT_EQ(SGSystemProfiler::itemsFromDocument(text).has_value(), hasItems) << text;
  }
}

TEST(SGSystemProfiler, CoreCountText) {
  const std::pair<plist::Value, int64_t> cases[] = {
      {plist::Value("10"), 10},  {plist::Value(10), -1},
      {plist::Value("ten"), -1}, {plist::Value(""), -1},
      {plist::Value("+7"), 7},   {plist::Value("-3"), -3},
      {plist::Value(" 10"), -1}, {plist::Value("10 "), -1},
      {plist::Value("++1"), -1}, {plist::Value("99999999999999999999"), -1},
      {plist::Value(), -1},
  };
  for (const auto& [cores, expected] : cases) {
    plist::Dict item{{"sppci_model", plist::Value("Apple M2")}};
    if (!cores.isNone()) item["sppci_cores"] = cores;
    EXPECT_EQ(SGSystemProfiler::coresFromItems(plist::Value(item)), expected);
  }
  EXPECT_EQ(SGSystemProfiler::coresFromItems(std::nullopt), -1);
}

TEST(SGSystemProfiler, RunsThePlatformsTool) {
  const std::pair<const char*, int64_t> cases[] = {
      {"displays-m2.xml", 10},         {"displays-cores-number.xml", -1},
      {"displays-cores-word.xml", -1}, {"displays-empty-items.xml", -1},
      {"displays-no-cores.xml", -1},   {"does-not-exist.xml", -1},
  };
  for (const auto& [document, cores] : cases) {
    SCOPED_TRACE(document);
    FakePlatform p;
    p.tools.systemProfiler = kFixtures + "fake-system-profiler";
    p.env = {{"FAKE_PROFILER_DOCUMENT", kFixtures + document}};
    EXPECT_EQ(SGSystemProfiler::numberOfGPUCores(p), cores);
  }
  FakePlatform p;
  p.tools.systemProfiler = kFixtures + "fake-system-profiler";
  p.env = {{"FAKE_PROFILER_DOCUMENT", kFixtures + "displays-m2.xml"}};
  auto items = SGSystemProfiler::items(p, "SPDisplaysDataType");
  ASSERT_TRUE(items);
  EXPECT_EQ(*(*items)["sppci_model"].string(), "Apple M2");
  // The tool refuses another data type; its empty output is no document.
  EXPECT_FALSE(SGSystemProfiler::items(p, "SPHardwareDataType"));
}

TEST(SGSystemProfiler, MissingToolGivesMinusOne) {
  const char* tools[] = {"/nonexistent/system_profiler", "", FERROLUX_FIXTURES_DIR};
  for (const char* tool : tools) {
    FakePlatform p;
    p.tools.systemProfiler = tool;
    EXPECT_EQ(SGSystemProfiler::numberOfGPUCores(p), -1) << tool;
  }
}

}  // namespace
