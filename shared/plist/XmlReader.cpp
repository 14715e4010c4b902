#include "shared/plist/XmlReader.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>

#include "shared/plist/PlistDetail.h"
#include "shared/plist/PlistGuard.h"

namespace plist::detail {
namespace {

bool isSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

bool isDigit(char c) {
  return c >= '0' && c <= '9';
}

// ASCII only, whatever the process locale says about other bytes.
bool isNameChar(char c) {
  return isDigit(c) || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c == '-' ||
         c == ':' || c == '.';
}

// Text with no byte above 0x7F is already valid UTF-8; only the rest needs cleaning.
std::string cleaned(std::string text) {
  for (const char c : text)
    if (static_cast<unsigned char>(c) >= 0x80) return cleanText(text, false);
  return text;
}

void appendUtf8(std::string& out, uint32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

// Plain decimal integers only; libplist reads a leading 0 as octal, 0x as hex, and wraps on
// overflow, none of which the sampler writes.
std::optional<Value> integerFrom(std::string_view t) {
  const bool negative = !t.empty() && t[0] == '-';
  if (negative) t.remove_prefix(1);
  if (t.empty() || (t[0] == '0' && t.size() > 1)) return std::nullopt;
  uint64_t magnitude = 0;
  const auto [end, ec] = std::from_chars(t.data(), t.data() + t.size(), magnitude);
  if (ec != std::errc() || end != t.data() + t.size()) return std::nullopt;
  if (magnitude > static_cast<uint64_t>(std::numeric_limits<int64_t>::max())) return std::nullopt;
  const auto i = static_cast<int64_t>(magnitude);
  return Value(negative ? -i : i);
}

// Digits, an optional fraction and exponent; no nan, inf, hex or results out of range.
std::optional<Value> realFrom(std::string_view t) {
  size_t p = t.size() > 0 && t[0] == '-' ? 1 : 0;
  auto digits = [&] {
    const size_t start = p;
    while (p < t.size() && isDigit(t[p]))
      ++p;
    return p > start;
  };
  if (!digits()) return std::nullopt;
  if (p < t.size() && t[p] == '.' && (++p, !digits())) return std::nullopt;
  if (p < t.size() && (t[p] == 'e' || t[p] == 'E')) {
    ++p;
    if (p < t.size() && (t[p] == '+' || t[p] == '-')) ++p;
    if (!digits()) return std::nullopt;
  }
  if (p != t.size()) return std::nullopt;
  double d = 0;
  const auto [end, ec] = std::from_chars(t.data(), t.data() + t.size(), d);
  if (ec != std::errc() || end != t.data() + t.size() || !std::isfinite(d)) return std::nullopt;
  return Value(d);
}

// Days from 1970-01-01 to a proleptic Gregorian date.
int64_t daysFromCivil(int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const auto yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

// Exactly YYYY-MM-DDTHH:MM:SSZ with fields in range, and a result libplist keeps exactly: it
// holds dates as 32-bit seconds since 2001.
std::optional<Value> dateFrom(std::string_view t) {
  if (t.size() != 20 || t[4] != '-' || t[7] != '-' || t[10] != 'T' || t[13] != ':' ||
      t[16] != ':' || t[19] != 'Z')
    return std::nullopt;
  auto field = [&](size_t at, size_t width, unsigned lo, unsigned hi, unsigned& out) {
    out = 0;
    for (size_t k = at; k < at + width; ++k) {
      if (!isDigit(t[k])) return false;
      out = out * 10 + static_cast<unsigned>(t[k] - '0');
    }
    return out >= lo && out <= hi;
  };
  unsigned y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0;
  if (!field(0, 4, 1000, 9999, y) || !field(5, 2, 1, 12, mo) || !field(8, 2, 1, 31, d) ||
      !field(11, 2, 0, 23, h) || !field(14, 2, 0, 59, mi) || !field(17, 2, 0, 59, s))
    return std::nullopt;
  static constexpr unsigned kDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
  if (d > kDays[mo - 1] || (mo == 2 && d == 29 && !leap)) return std::nullopt;
  const int64_t unix = daysFromCivil(y, mo, d) * 86400 + h * 3600 + mi * 60 + s;
  const int64_t since2001 = unix - 978307200;
  if (since2001 < std::numeric_limits<int32_t>::min() ||
      since2001 > std::numeric_limits<int32_t>::max())
    return std::nullopt;
  return Value(Date{static_cast<double>(since2001)});
}

int base64Digit(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (isDigit(c)) return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

// Standard base64 with whitespace anywhere and '=' padding only at the very end.
std::optional<Value> dataFrom(std::string_view t) {
  Bytes out;
  out.reserve(t.size() / 4 * 3);
  int group[4] = {};
  int count = 0, padding = 0;
  for (const char c : t) {
    if (isSpace(c)) continue;
    if (c == '=') {
      if (count < 2) return std::nullopt;
      ++padding, group[count++] = 0;
    } else {
      const int v = base64Digit(c);
      if (v < 0 || padding > 0) return std::nullopt;
      group[count++] = v;
    }
    if (count < 4) continue;
    const uint32_t bits = (group[0] << 18) | (group[1] << 12) | (group[2] << 6) | group[3];
    out.push_back(static_cast<uint8_t>(bits >> 16));
    if (padding < 2) out.push_back(static_cast<uint8_t>(bits >> 8));
    if (padding < 1) out.push_back(static_cast<uint8_t>(bits));
    count = 0;
  }
  if (count != 0) return std::nullopt;
  return Value(std::move(out));
}

class Reader {
 public:
  explicit Reader(std::string_view doc) : s_(doc) {}

  std::optional<Value> document() {
    if (!skipMisc(true) || !take("<plist") || !attributes(">")) return std::nullopt;
    Value root;
    if (!skipMisc(false) || !value(0, root) || !skipMisc(false) || !take("</plist>") ||
        !skipMisc(false) || p_ != s_.size())
      return std::nullopt;
    return root;
  }

 private:
  bool at(std::string_view token) const { return s_.substr(p_, token.size()) == token; }

  bool take(std::string_view token) {
    if (!at(token)) return false;
    p_ += token.size();
    return true;
  }

  // Skips to just past `end`; false when it never comes or a '<' or '>' comes first, which
  // libplist might read differently.
  bool skipPast(std::string_view end) {
    const size_t found = s_.find(end, p_);
    if (found == std::string_view::npos) return false;
    if (s_.substr(p_, found - p_).find_first_of("<>") != std::string_view::npos) return false;
    p_ = found + end.size();
    return true;
  }

  // Whitespace and comments, plus the XML declaration and an external DOCTYPE before the root
  // element. False on anything else starting with "<!" or "<?".
  bool skipMisc(bool prolog) {
    while (true) {
      while (p_ < s_.size() && isSpace(s_[p_]))
        ++p_;
      if (take("<!--")) {
        if (!skipPast("-->")) return false;
      } else if (prolog && take("<?xml")) {
        if (!attributes("?>")) return false;
      } else if (prolog && take("<!DOCTYPE ")) {
        if (!doctype()) return false;
      } else {
        return !at("<!") && !at("<?");
      }
    }
  }

  // A quoted literal with nothing in it that markup could be read from.
  bool quoted() {
    const char quote = s_[p_++];
    const size_t end = s_.find(quote, p_);
    if (end == std::string_view::npos) return false;
    if (s_.substr(p_, end - p_).find_first_of("<>&[") != std::string_view::npos) return false;
    p_ = end + 1;
    return true;
  }

  // Names and quoted literals up to '>'; an internal subset ('[') is declined.
  bool doctype() {
    while (p_ < s_.size()) {
      const char c = s_[p_];
      if (c == '>') return ++p_, true;
      if (c == '<' || c == '[' || c == '&') return false;
      if (c == '"' || c == '\'') {
        if (!quoted()) return false;
      } else {
        ++p_;
      }
    }
    return false;
  }

  // name="value" or name='value' pairs, separated by whitespace, up to `end`.
  bool attributes(std::string_view end) {
    if (take(end)) return true;
    while (true) {
      const size_t before = p_;
      while (p_ < s_.size() && isSpace(s_[p_]))
        ++p_;
      if (take(end)) return true;
      if (p_ == before) return false;
      const size_t name = p_;
      while (p_ < s_.size() && isNameChar(s_[p_]))
        ++p_;
      if (p_ == name || !take("=") || p_ >= s_.size()) return false;
      if ((s_[p_] != '"' && s_[p_] != '\'') || !quoted()) return false;
    }
  }

  // Raw text up to the next '<', which must start `</tag>`.
  bool rawText(std::string_view tag, std::string_view& out) {
    const size_t end = s_.find('<', p_);
    if (end == std::string_view::npos) return false;
    out = s_.substr(p_, end - p_);
    p_ = end;
    return take("</") && take(tag) && take(">");
  }

  // Character data with entities resolved, up to `</tag>`.
  bool text(std::string_view tag, std::string& out) {
    while (p_ < s_.size()) {
      const size_t stop = s_.find_first_of("<&", p_);
      if (stop == std::string_view::npos) return false;
      out.append(s_.substr(p_, stop - p_));
      p_ = stop;
      if (s_[p_] == '<') return take("</") && take(tag) && take(">");
      if (!entity(out)) return false;
    }
    return false;
  }

  bool entity(std::string& out) {
    static constexpr std::pair<std::string_view, char> kNamed[] = {
        {"&lt;", '<'}, {"&gt;", '>'}, {"&amp;", '&'}, {"&quot;", '"'}, {"&apos;", '\''}};
    for (const auto& [name, c] : kNamed)
      if (take(name)) return out += c, true;
    if (!take("&#")) return false;
    const int base = take("x") || take("X") ? 16 : 10;
    const size_t end = s_.find(';', p_);
    if (end == std::string_view::npos || end == p_ || end - p_ > 8) return false;
    uint32_t cp = 0;
    const auto [last, ec] = std::from_chars(s_.data() + p_, s_.data() + end, cp, base);
    if (ec != std::errc() || last != s_.data() + end) return false;
    // NUL is refused outright; surrogates and values past U+10FFFF are libplist's to judge.
    if (cp == 0 || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
    appendUtf8(out, cp);
    p_ = end + 1;
    return true;
  }

  bool value(int depth, Value& out) {
    if (depth > kMaxDepth || !take("<")) return false;
    const size_t name = p_;
    while (p_ < s_.size() && s_[p_] >= 'a' && s_[p_] <= 'z')
      ++p_;
    const std::string_view tag = s_.substr(name, p_ - name);
    const bool empty = take("/>");
    if (!empty && !take(">")) return false;

    if (tag == "true" || tag == "false") {
      if (!empty && !(take("</") && take(tag) && take(">"))) return false;
      out = Value(tag == "true");
      return true;
    }
    if (tag == "array") return empty ? (out = Value(Array{}), true) : array(depth, out);
    if (tag == "dict") return empty ? (out = Value(Dict{}), true) : dict(depth, out);
    if (tag == "string") {
      std::string s;
      if (!empty && !text(tag, s)) return false;
      out = Value(cleaned(std::move(s)));
      return true;
    }
    if (tag == "data" && empty) return out = Value(Bytes{}), true;
    std::string_view raw;
    if (empty || !rawText(tag, raw)) return false;
    std::optional<Value> v;
    if (tag == "integer") v = integerFrom(raw);
    if (tag == "real") v = realFrom(raw);
    if (tag == "date") v = dateFrom(raw);
    if (tag == "data") v = dataFrom(raw);
    if (!v) return false;
    out = std::move(*v);
    return true;
  }

  bool array(int depth, Value& out) {
    Array items;
    while (true) {
      if (!skipMisc(false)) return false;
      if (take("</array>")) break;
      Value item;
      if (!value(depth + 1, item)) return false;
      items.push_back(std::move(item));
    }
    out = Value(std::move(items));
    return true;
  }

  bool dict(int depth, Value& out) {
    Dict entries;
    while (true) {
      if (!skipMisc(false)) return false;
      if (take("</dict>")) break;
      std::string key;
      if (!take("<key>") || !text("key", key) || !skipMisc(false)) return false;
      Value item;
      if (!value(depth + 1, item)) return false;
      // Later duplicates win, as on the libplist path.
      entries.insert_or_assign(cleaned(std::move(key)), std::move(item));
    }
    out = Value(std::move(entries));
    return true;
  }

  std::string_view s_;
  size_t p_ = 0;
};

}  // namespace

std::optional<Value> readXml(std::string_view doc) {
  // A NUL spelled as a reference anywhere, even in a comment, makes the libplist path refuse
  // the document, so it is declined here for that path to say so.
  if (doc.find('\0') != std::string_view::npos || xmlHasNulReference(doc)) return std::nullopt;
  return Reader(doc).document();
}

std::optional<Value> readXmlDate(std::string_view text) {
  return dateFrom(text);
}

}  // namespace plist::detail
