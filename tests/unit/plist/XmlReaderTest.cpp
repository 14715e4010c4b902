// The direct XML reader against the libplist path: whatever it accepts must read the same, and it
// must accept the sampler's own documents, or the fast path is lost.
#include "shared/plist/XmlReader.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "shared/plist/PlistDetail.h"

namespace {

using plist::detail::parseWithLibplist;
using plist::detail::readXml;

// Checks one document both ways; returns whether the direct reader accepted it.
bool agrees(std::string_view doc) {
  const std::optional<plist::Value> fast = readXml(doc);
  const plist::ParseResult slow = parseWithLibplist(doc);
  // parse() as callers see it fails exactly when the libplist path does, with its reason.
  const plist::ParseResult both = plist::parse(doc);
  EXPECT_EQ(both.ok(), slow.ok());
  EXPECT_EQ(both.error, slow.error);
  if (!fast) return false;
  EXPECT_TRUE(slow.ok()) << "accepted what libplist refuses: " << slow.error;
  EXPECT_TRUE(slow.ok() && *fast == *slow.value) << "values differ";
  EXPECT_TRUE(both.ok() && *both.value == *fast);
  return true;
}

std::string wrap(const std::string& body) {
  return "<plist version=\"1.0\">" + body + "</plist>";
}

struct Case {
  std::string body;  // inside <plist>, unless it starts with '<?', '<!' or ' '
  bool accepted;
};

const Case kCases[] = {
    // Scalars in the forms the sampler writes.
    {"<integer>0</integer>", true},
    {"<integer>-42</integer>", true},
    {"<integer>-0</integer>", true},
    {"<integer>9223372036854775807</integer>", true},
    {"<integer>-9223372036854775807</integer>", true},
    {"<real>1.5</real>", true},
    {"<real>-0</real>", true},
    {"<real>3</real>", true},
    {"<real>1e5</real>", true},
    {"<real>-2.5E-3</real>", true},
    {"<real>0.1000000000000000055511151231257827</real>", true},
    {"<true/>", true},
    {"<false></false>", true},
    {"<date>2001-01-01T00:00:00Z</date>", true},
    {"<date>1970-01-01T00:00:00Z</date>", true},
    {"<date>2024-02-29T23:59:59Z</date>", true},
    {"<date>2068-12-31T12:00:00Z</date>", true},
    {"<data>AAEC</data>", true},
    {"<data>\n\tAAE=\n\tAA==</data>", false},
    {"<data> AA\r\nEC AA== </data>", true},
    {"<data></data>", true},
    {"<data/>", true},
    {"<data>  </data>", true},
    // Strings: entities, references, whitespace kept, bytes cleaned the libplist path's way.
    {"<string/>", true},
    {"<string></string>", true},
    {"<string>  a \r\n b\r</string>", true},
    {"<string>a&lt;&gt;&amp;&quot;&apos;b&gt;c>d</string>", true},
    {"<string>&#65;&#x42;&#X43;&#0068;&#x0045;&#xE9;&#x7FF;&#x800;&#xFFFF;&#x1F600;</string>",
     true},
    {"<string>&#1;&#x7F;\x01\x7F</string>", true},
    {"<string>caf\xC3\xA9 \xFF\xC3 \xED\xA0\x80 \xF4\x90\x80\x80</string>", true},
    // Containers, comments, duplicates, empty keys.
    {"<array/>", true},
    {"<array> </array>", true},
    {"<dict/>", true},
    {"<dict>\n</dict>", true},
    {"<array><array><dict/></array><string>x</string></array>", true},
    {"<dict><key>a</key><integer>1</integer><key>b</key><true/><key>a</key><integer>2</integer>"
     "</dict>",
     true},
    {"<dict><key></key><true/><key> k </key><string>v</string></dict>", true},
    {"<dict><key>\xFF</key><true/><key>\xEF\xBF\xBD</key><false/></dict>", true},
    {"<dict><key>CF$UID</key><integer>5</integer></dict>", true},
    {"<dict> <!-- c --> <key>a</key> <!-- c --> <real>1</real> </dict> <!-- c -->", true},
    {"<dict><key>a&amp;b&#x41;</key><true/></dict>", true},
    // Prologs.
    {"<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST "
     "1.0//EN\" \"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n<plist "
     "version=\"1.0\">\n<true/>\n</plist>\n",
     true},
    {" \n<!-- c --><?xml version='1.0' ?><plist version='1.0' a=\"b\"><true/></plist>", true},
    // Forms left to libplist: odd numbers, out-of-range dates, loose markup.
    {"<integer>010</integer>", false},
    {"<integer>0x10</integer>", false},
    {"<integer>+5</integer>", false},
    {"<integer> 5</integer>", false},
    {"<integer>5x</integer>", false},
    {"<integer></integer>", false},
    {"<integer/>", false},
    {"<integer>9223372036854775808</integer>", false},
    {"<integer>-9223372036854775808</integer>", false},
    {"<integer>18446744073709551616</integer>", false},
    {"<integer>&#49;</integer>", false},
    {"<real>nan</real>", false},
    {"<real>inf</real>", false},
    {"<real>.5</real>", false},
    {"<real>5.</real>", false},
    {"<real>1e999</real>", false},
    {"<real>1e-400</real>", false},
    {"<real>0x10</real>", false},
    {"<real></real>", false},
    {"<date>2100-01-01T00:00:00Z</date>", false},
    {"<date>1900-01-01T00:00:00Z</date>", false},
    {"<date>2020-02-30T00:00:00Z</date>", false},
    {"<date>2021-02-29T00:00:00Z</date>", false},
    {"<date>2020-01-01T00:00:60Z</date>", false},
    {"<date>2020-1-1T00:00:00Z</date>", false},
    {"<date>2020-01-01T00:00:00</date>", false},
    {"<date/>", false},
    {"<data>AAE</data>", false},
    {"<data>A!EC</data>", false},
    {"<data>AA==AAEC</data>", false},
    {"<data>A===</data>", false},
    {"<string>&#0;</string>", false},
    {"<string>&#x000;</string>", false},
    {"<string><!-- &#0; --></string>", false},
    {"<string>&#xD800;</string>", false},
    {"<string>&#x110000;</string>", false},
    {"<string>&#999999999999;</string>", false},
    {"<string>&foo;</string>", false},
    {"<string>a&b</string>", false},
    {"<string>&#65</string>", false},
    {"<string>a<!--c-->b</string>", false},
    {"<string><![CDATA[x<y]]></string>", false},
    {"<string >a</string >", false},
    {"<true />", false},
    {"<true>x</true>", false},
    {"<key>a</key>", false},
    {"<array><key>a</key></array>", false},
    {"<dict><key>a</key></dict>", false},
    {"<dict><key/><true/></dict>", false},
    {"<dict><string>v</string></dict>", false},
    {"<dict><key>a</key><true/><key>b</key></dict>", false},
    {"<uid>1</uid>", false},
    {"<foo/>", false},
    {"", false},
    {"<true/><false/>", false},
    {"<array><true/>", false},
    {"<string>a</strin>", false},
    {" <plist><true/></plist>junk", false},
    {" <plist><true/></plist><plist><false/></plist>", false},
    {" <plist><true/></plist", false},
    {" <plist><true/>", false},
    {" <plist/>", false},
    {" <true/>", false},
    {" <PLIST><true/></PLIST>", false},
    {"<?xml version=H1.0\"?><plist><true/></plist>", false},
    {"<?xml version='1.0\"?><plist><true/></plist>", false},
    {"<?pi x?><plist><true/></plist>", false},
    {"<!DOCTYPE plist \"a>\"><plist><true/></plist>", false},
    {"<!DOCTYPE plist [ <!ENTITY e \"x\"> ]><plist><string>&e;</string></plist>", false},
    {" <plist>\x01<true/></plist>", false},
    {" <plist><true/>x</plist>", false},
};

TEST(XmlReader, AgreesWithLibplistOnTrickyDocuments) {
  for (const Case& c : kCases) {
    const bool whole = c.body.starts_with("<?") || c.body.starts_with("<!") ||
                       c.body.starts_with(" ") || c.body.empty();
    const std::string doc = whole ? c.body : wrap(c.body);
    SCOPED_TRACE(doc);
    EXPECT_EQ(agrees(doc), c.accepted);
  }
}

TEST(XmlReader, NestingPastTheLimitIsDeclinedAndRefused) {
  const int limit = plist::detail::kMaxDepth;
  for (const int depth : {limit, limit + 1, limit + 50}) {
    std::string body;
    for (int i = 0; i < depth; ++i)
      body += "<array>";
    body += "<true/>";
    for (int i = 0; i < depth; ++i)
      body += "</array>";
    SCOPED_TRACE(depth);
    EXPECT_EQ(agrees(wrap(body)), depth <= limit);
  }
}

std::string fileBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// Every NUL-separated document of every fixture, as parse() would see it.
TEST(XmlReader, AgreesWithLibplistOnEveryFixture) {
  const std::filesystem::path root(FERROLUX_FIXTURES_DIR);
  int accepted = 0, files = 0;
  for (const char* dir : {"fuzz/plist", "metrics"}) {
    for (const auto& entry : std::filesystem::directory_iterator(root / dir)) {
      ++files;
      std::string_view bytes;
      const std::string all = fileBytes(entry.path());
      bytes = all;
      if (bytes.starts_with("bplist")) continue;
      while (!bytes.empty()) {
        const size_t nul = bytes.find('\0');
        SCOPED_TRACE(entry.path().string());
        accepted += agrees(bytes.substr(0, nul));
        if (nul == std::string_view::npos) break;
        bytes.remove_prefix(nul + 1);
      }
    }
  }
  EXPECT_GT(files, 100);
  EXPECT_GE(accepted, 8);  // the well-formed ones, sampler captures among them
}

TEST(XmlReader, TakesTheSamplerDocuments) {
  const std::filesystem::path dir = std::filesystem::path(FERROLUX_FIXTURES_DIR) / "metrics";
  for (const char* name : {"m1-os12-sample.plist", "m1pro-os13-gpu-sample.plist"}) {
    const std::string bytes = fileBytes(dir / name);
    SCOPED_TRACE(name);
    const std::optional<plist::Value> fast = readXml(bytes.substr(0, bytes.find('\0')));
    ASSERT_TRUE(fast.has_value());
    EXPECT_GT(fast->size(), 5u);
  }
}

}  // namespace
