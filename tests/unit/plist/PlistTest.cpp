#include "shared/plist/Plist.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <vector>

#include "shared/plist/PlistDetail.h"
#include "unit/plist/HostileDocuments.h"

namespace {

std::string xmlDoc(const std::string& body) {
  return R"(<?xml version="1.0" encoding="UTF-8"?>
<!DOCTYPE plist PUBLIC "-//Apple//DTD PLIST 1.0//EN" "http://www.apple.com/DTDs/PropertyList-1.0.dtd">
<plist version="1.0">)" +
         body + "</plist>\n";
}

TEST(PlistParse, NumbersReadAsDoublesWhetherIntegerOrReal) {
  auto r = plist::parse(
      xmlDoc("<dict><key>i</key><integer>42</integer><key>r</key><real>1.5</real>"
             "<key>n</key><integer>-7</integer><key>s</key><string>9</string></dict>"));
  ASSERT_TRUE(r.ok()) << r.error;
  const plist::Value& v = *r.value;
  EXPECT_EQ(v["i"].number(), 42.0);
  EXPECT_EQ(v["i"].integer(), 42);
  EXPECT_EQ(v["r"].number(), 1.5);
  EXPECT_EQ(v["r"].integer(), std::nullopt);  // a real is not an integer
  EXPECT_EQ(v["n"].number(), -7.0);
  EXPECT_EQ(v["s"].number(), std::nullopt);  // text is never a number
  EXPECT_TRUE(v["missing"].isNone());
  EXPECT_TRUE(v["i"]["deeper"].isNone());
  EXPECT_TRUE(v[size_t{0}].isNone());
}

TEST(PlistParse, DuplicateKeysKeepTheLaterValue) {
  auto r =
      plist::parse(xmlDoc("<dict><key>gpu</key><integer>1</integer><key>x</key><true/>"
                          "<key>gpu</key><integer>2</integer></dict>"));
  ASSERT_TRUE(r.ok()) << r.error;
  EXPECT_EQ((*r.value)["gpu"].integer(), 2);
  EXPECT_EQ(r.value->size(), 2u);
}

TEST(PlistParse, DocumentsSeparatedByNul) {
  const std::string two = xmlDoc("<dict><key>a</key><integer>1</integer></dict>") + '\0' +
                          xmlDoc("<dict><key>a</key><integer>2</integer></dict>") + '\0';
  auto first = plist::parse(two);
  ASSERT_TRUE(first.ok()) << first.error;
  EXPECT_EQ((*first.value)["a"].integer(), 1);

  auto all = plist::parseAll(two);
  ASSERT_EQ(all.size(), 2u);
  EXPECT_EQ((*all[1].value)["a"].integer(), 2);
}

TEST(PlistWrite, RoundTripsEveryTypeInBothFormats) {
  plist::Dict inner{{"neg", plist::Value(int64_t{-5})}, {"yes", true}};
  plist::Dict d{
      {"int", 7},
      {"real", 2.25},
      {"text", "M2 Pro"},
      {"data", plist::Bytes{0x6B, 0x10, 0x00, 0x00}},
      {"date", plist::Date{700000000}},
      {"list", plist::Array{1, "two", 3.0}},
      {"inner", inner},
  };
  const plist::Value original(d);
  for (auto format : {plist::Format::XML, plist::Format::Binary}) {
    const std::string bytes = plist::write(original, format);
    ASSERT_FALSE(bytes.empty());
    auto r = plist::parse(bytes);
    ASSERT_TRUE(r.ok()) << r.error;
    EXPECT_EQ(*r.value, original) << (format == plist::Format::XML ? bytes : "binary");
  }
}

TEST(PlistWrite, NoneIsLeftOutAndCannotStandAlone) {
  plist::Dict d{{"kept", 1}, {"dropped", plist::Value()}};
  auto r = plist::parse(plist::write(plist::Value(d), plist::Format::Binary));
  ASSERT_TRUE(r.ok());
  EXPECT_EQ(r.value->size(), 1u);
  EXPECT_TRUE(plist::write(plist::Value(), plist::Format::XML).empty());
}

TEST(PlistParse, InvalidUtf8IsReplacedAndWritesBack) {
  // A binary document with one ASCII-marked string holding the bytes 'a', 0xFF, 'b'.
  std::string doc = std::string("bplist00\x53\x61\xff\x62\x08", 13);
  doc += std::string(6, '\0') + std::string("\x01\x01", 2) + std::string(7, '\0') +
         std::string("\x01", 1) + std::string(8, '\0') + std::string(7, '\0') +
         std::string("\x0c", 1);
  auto r = plist::parse(doc);
  ASSERT_TRUE(r.ok()) << r.error;
  ASSERT_TRUE(r.value->isString());
  EXPECT_EQ(*r.value->string(),
            "a\xEF\xBF\xBD"
            "b");
  for (auto format : {plist::Format::XML, plist::Format::Binary})
    EXPECT_TRUE(plist::parse(plist::write(*r.value, format)).ok());
}

TEST(PlistWrite, ControlCharactersBecomeReadableXml) {
  const std::string xml = plist::write(plist::Value("bell\x07"), plist::Format::XML);
  auto r = plist::parse(xml);
  ASSERT_TRUE(r.ok()) << xml;
  EXPECT_EQ(*r.value->string(), "bell\xEF\xBF\xBD");
}

std::string xmlNest(int levels) {
  std::string body;
  for (int i = 0; i < levels; ++i)
    body += "<array>";
  body += "<true/>";
  for (int i = 0; i < levels; ++i)
    body += "</array>";
  return xmlDoc(body);
}

// Closing tags inside comments close nothing.
std::string hiddenCloses(int levels) {
  std::string body;
  for (int i = 0; i < levels; ++i)
    body += "<array><!--</array>-->";
  for (int i = 0; i < levels; ++i)
    body += "</array>";
  return xmlDoc(body);
}

// Malformed documents, and hostile ones that would make libplist build billions of nodes, recurse
// past the stack, abort on a NUL, or return a wrapped number: each is refused with a reason (the
// one given, where there is one), and quickly (no test takes long).
TEST(PlistParse, BadDocumentsAreRefusedBeforeLibplist) {
  using namespace std::string_literals;
  using namespace hostile;
  const std::string nulKey = std::string(
      "\x53"
      "a\0b",
      4);
  const std::string nulKey16 =
      std::string("\x5F\x14", 2) + std::string(15, '\0') + "\x03" + std::string("a\0b", 3);
  const std::pair<std::string, std::string> cases[] = {
      {"", ""},
      {"not a plist at all", ""},
      {xmlDoc("<dict><key>a</key>"), ""},                      // truncated
      {xmlDoc("<dict><key>a</key><integer>1</integer>"), ""},  // unclosed
      {xmlDoc("<array><integer>x</array>"), ""},               // bad nesting
      {"bplist00\x01\x02\x03"s, ""},                           // truncated binary
      {std::string(200, '<'), ""},
      {xmlDoc("<dict><key>a&#0;b</key><string>x</string></dict>"), ""},
      {xmlDoc("<dict><key>a</key><string>x&#x000;y</string></dict>"), ""},
      // A binary document whose one-character ASCII string is a NUL.
      {"bplist00\x51\x00\x08"s + std::string(6, '\0') + "\x01\x01"s + std::string(7, '\0') +
           "\x01"s + std::string(15, '\0') + "\x0a"s,
       ""},
      {xmlNest(500), "nested too deeply"},
      {binaryChain(32, 2, 1), "expands"},  // 2^33 nodes from 170 bytes
      {binaryChain(200000, 1, 3), "nested too deeply"},
      {binaryChain(plist::detail::kMaxDepth + 1, 1, 1), "nested too deeply"},
      {binaryDoc({"\xA1\x00"s}), "refers to itself"},
      {binaryDoc({"\xA2\x01\x00"s, "\xA1\x00"s}), "refers to itself"},
      {binaryDoc({"\xD1\x01\x02", nulKey, "\x09"}), "NUL"},
      {binaryDoc({"\xD1\x01\x02", nulKey, "\x09"}, 1, 9), "width"},
      {binaryDoc({"\xD1\x01\x02", nulKey16, "\x09"}), "length"},
      {binaryDoc({"\xA1\x01",
                  std::string("\x14\x00\x00\x00\x00\x00\x00\x00\x01", 9) + std::string(8, '\0')}),
       "integer out of range"},
      {binaryDoc({"\x33\x7E\x37\xE4\x3C\x88\x00\x75\x9C"s}), "date out of range"},  // 1e300
      {binaryDoc({"\x33\x7F\xF8\x00\x00\x00\x00\x00\x00"s}), "date out of range"},  // NaN
      {xmlNest(180000), "nested too deeply"},
      {hiddenCloses(180000), "nested too deeply"},
      {xmlDoc("<integer>18446744073709551616</integer>"), "integer out of range"},
      {xmlDoc("<integer>" + std::string(1000, '9') + "</integer>"), "integer out of range"},
      {xmlDoc("<integer>-9223372036854775809</integer>"), "integer out of range"},
      {xmlDoc("<integer>0x10000000000000000</integer>"), "integer out of range"},
      {xmlDoc("<integer>5x</integer>"), "integer out of range"},
      {xmlDoc("<date>9999-12-31T23:59:59Z</date>"), "date out of range"},
      {xmlDoc("<real>1e999</real>"), "real out of range"},
  };
  for (const auto& [input, reason] : cases) {
    SCOPED_TRACE(input.size() > 80 ? std::to_string(input.size()) + " bytes" : input);
    const auto r = plist::parse(input);
    EXPECT_FALSE(r.ok());
    EXPECT_FALSE(r.error.empty());
    EXPECT_NE(r.error.find(reason), std::string::npos) << r.error;
  }
}

// The other side of the same checks: what libplist reads correctly still reads.
TEST(PlistParse, BoundaryDocumentsStillRead) {
  using namespace hostile;
  std::vector<std::string> shared{std::string(1, '\xAF') + "\x10\x64" + std::string(100, '\x01'),
                                  "\x09"};
  const std::string int16 = std::string(9, '\xFF') + std::string("\xFF\xFF\xFF\xFF\xFF\xFF\xFB", 7);
  const std::pair<std::string, plist::Value> cases[] = {
      {binaryChain(plist::detail::kMaxDepth, 1, 1), plist::Value()},
      {binaryDoc(shared), plist::Value()},  // one object named a hundred times
      {binaryDoc({"\x14" + int16}), plist::Value(int64_t{-5})},
      {binaryDoc({"\x13\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF"}), plist::Value(int64_t{-1})},
      {xmlDoc("<integer>0x10</integer>"), plist::Value(16)},
      {xmlDoc("<integer>-9223372036854775808</integer>"),
       plist::Value(std::numeric_limits<int64_t>::min())},
      {xmlDoc("<integer> 7 </integer>"), plist::Value(7)},
  };
  for (const auto& [input, value] : cases) {
    const auto r = plist::parse(input);
    ASSERT_TRUE(r.ok()) << r.error;
    if (!value.isNone()) {
      EXPECT_EQ(*r.value, value);
    }
  }
}

}  // namespace
