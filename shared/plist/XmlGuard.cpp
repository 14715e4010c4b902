// One linear scan over an XML document before libplist sees it.
//
// libplist reads XML without a depth limit and frees its tree recursively, so a document nested
// a few hundred thousand levels deep overflows the stack; it reads integers with strtoull, which
// saturates and wraps, and dates into 32-bit seconds without a check. The scan counts open
// containers and reads each number and date the way libplist would, refusing what it would get
// wrong. It errs on the side of counting: a tag it cannot place is counted as an open container.
#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>

#include "shared/plist/PlistDetail.h"
#include "shared/plist/PlistGuard.h"
#include "shared/plist/XmlReader.h"

namespace plist::detail {
namespace {

bool isSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

std::string_view trimmed(std::string_view t) {
  while (!t.empty() && isSpace(t.front()))
    t.remove_prefix(1);
  while (!t.empty() && isSpace(t.back()))
    t.remove_suffix(1);
  return t;
}

// strtoull with base 0 after libplist's own sign: 0x for hex, a leading 0 for octal. Digits must
// fill the text, and the value must fit a 64-bit signed integer.
bool integerFits(std::string_view t) {
  const bool negative = !t.empty() && t[0] == '-';
  if (!t.empty() && (t[0] == '-' || t[0] == '+')) t.remove_prefix(1);
  int base = 10;
  if (t.size() > 1 && t[0] == '0' && (t[1] == 'x' || t[1] == 'X')) {
    base = 16, t.remove_prefix(2);
  } else if (t.size() > 1 && t[0] == '0') {
    base = 8;
  }
  uint64_t magnitude = 0;
  const auto [end, ec] = std::from_chars(t.data(), t.data() + t.size(), magnitude, base);
  if (t.empty() || ec != std::errc() || end != t.data() + t.size()) return false;
  const uint64_t limit = uint64_t{std::numeric_limits<int64_t>::max()} + (negative ? 1 : 0);
  return magnitude <= limit;
}

// atof takes words (nan, inf) and decimal forms; a decimal form must not overflow. Hex forms
// are refused rather than judged.
bool realFits(std::string_view t) {
  if (!t.empty() && t[0] == '+') t.remove_prefix(1);
  if (t.find_first_of("xX") != std::string_view::npos) return false;
  double d = 0;
  const auto [end, ec] = std::from_chars(t.data(), t.data() + t.size(), d);
  return ec != std::errc::result_out_of_range;
}

// Only the strict form with 32-bit seconds since 2001: libplist's strptime takes other forms
// and its conversion wraps outside that range.
bool dateFits(std::string_view t) {
  return readXmlDate(t).has_value();
}

class Scan {
 public:
  explicit Scan(std::string_view text) : t_(text) {}

  std::string run() {
    for (size_t at = t_.find('<'); at != std::string_view::npos; at = t_.find('<', p_)) {
      p_ = at + 1;
      if (skipped("!--", "-->") || skipped("![CDATA[", "]]>") || skipped("?", "?>")) continue;
      const bool closing = p_ < t_.size() && t_[p_] == '/';
      if (closing) ++p_;
      const size_t name = p_;
      while (p_ < t_.size() && !isSpace(t_[p_]) && t_[p_] != '/' && t_[p_] != '>' && t_[p_] != '<')
        ++p_;
      const std::string_view tag = t_.substr(name, p_ - name);
      const size_t close = t_.find('>', p_);
      if (close == std::string_view::npos) break;
      const bool empty = t_[close - 1] == '/';
      p_ = close + 1;
      const bool container = tag == "array" || tag == "dict";
      if (closing) {
        if (container && open_ > 0) --open_;
        continue;
      }
      if (container && !empty && ++open_ > kMaxDepth + 1) return "property list nested too deeply";
      if (empty || (tag != "integer" && tag != "real" && tag != "date")) continue;
      if (std::string error = scalar(tag); !error.empty()) return error;
    }
    return {};
  }

 private:
  // Skips a comment, CDATA section or processing instruction; false when `open` is not here.
  bool skipped(std::string_view open, std::string_view end) {
    if (t_.substr(p_, open.size()) != open) return false;
    const size_t found = t_.find(end, p_ + open.size());
    p_ = found == std::string_view::npos ? t_.size() : found + end.size();
    return true;
  }

  // The text of a number or date must run straight to its closing tag.
  std::string scalar(std::string_view tag) {
    const size_t end = t_.find('<', p_);
    if (end == std::string_view::npos) return {};
    const std::string_view closing = t_.substr(end);
    if (!(closing.substr(0, 2) == "</" && closing.substr(2, tag.size()) == tag))
      return "property list " + std::string(tag) + " with markup inside";
    const std::string_view text = trimmed(t_.substr(p_, end - p_));
    p_ = end;
    if (text.empty()) return {};  // libplist reads an empty element as zero
    if (tag == "integer" && !integerFits(text)) return "integer out of range";
    if (tag == "real" && !realFits(text)) return "real out of range";
    if (tag == "date" && !dateFits(text)) return "date out of range";
    return {};
  }

  std::string_view t_;
  size_t p_ = 0;
  int open_ = 0;
};

}  // namespace

bool xmlHasNulReference(std::string_view t) {
  for (size_t at = t.find("&#"); at != std::string_view::npos; at = t.find("&#", at + 2)) {
    size_t p = at + 2;
    if (p < t.size() && (t[p] == 'x' || t[p] == 'X')) ++p;
    const size_t digits = p;
    while (p < t.size() && t[p] == '0')
      ++p;
    if (p > digits && p < t.size() && t[p] == ';') return true;
  }
  return false;
}

std::string checkXml(std::string_view text) {
  if (xmlHasNulReference(text)) return "property list holds a string with a NUL character";
  return Scan(text).run();
}

}  // namespace plist::detail
