#include "shared/plist/Plist.h"

#include <gtest/gtest.h>

#include <string>

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

TEST(PlistParse, MalformedInputFailsWithAReason) {
  const std::string cases[] = {
      "",
      "not a plist at all",
      xmlDoc("<dict><key>a</key>"),                      // truncated
      xmlDoc("<dict><key>a</key><integer>1</integer>"),  // unclosed
      xmlDoc("<array><integer>x</array>"),               // bad nesting
      std::string("bplist00\x01\x02\x03", 11),           // truncated binary
      std::string(200, '<'),
  };
  for (const std::string& input : cases) {
    auto r = plist::parse(input);
    EXPECT_FALSE(r.ok()) << "accepted: " << input.substr(0, 60);
    EXPECT_FALSE(r.error.empty());
  }
}

TEST(PlistParse, RefusesHostileNesting) {
  std::string body;
  for (int i = 0; i < 500; ++i)
    body += "<array>";
  for (int i = 0; i < 500; ++i)
    body += "</array>";
  EXPECT_FALSE(plist::parse(xmlDoc(body)).ok());
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

}  // namespace

namespace {

// Hostile strings must give a clean refusal or clean text, never an abort inside the library.
TEST(PlistParse, NulCharactersInStringsAreRefused) {
  const std::string cases[] = {
      xmlDoc("<dict><key>a&#0;b</key><string>x</string></dict>"),
      xmlDoc("<dict><key>a</key><string>x&#x000;y</string></dict>"),
      // A binary document whose one-character ASCII string is a NUL.
      std::string("bplist00\x51\x00\x08", 11) + std::string(6, '\0') + std::string("\x01\x01", 2) +
          std::string(7, '\0') + std::string("\x01", 1) + std::string(8, '\0') +
          std::string(7, '\0') + std::string("\x0a", 1),
  };
  for (const std::string& input : cases) {
    auto r = plist::parse(input);
    EXPECT_FALSE(r.ok());
  }
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

}  // namespace
