#include "tools/powermetrics/XmlPlistStream.h"

#include <algorithm>
#include <chrono>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <limits>

#include "shared/plist/PlistDetail.h"

namespace sampler {

namespace {

// Seconds between the Unix epoch and 2001-01-01 00:00:00 UTC.
constexpr int64_t kUnixToPlistEpoch = 978307200;

constexpr std::string_view kPrologue =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
    "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
    "<plist version=\"1.0\">\n";

// Valid UTF-8 that XML can carry, with the three characters markup reserves escaped.
std::string escapedText(std::string_view text) {
  std::string out;
  for (char c : plist::detail::cleanText(text, true)) {
    switch (c) {
      case '&':
        out.append("&amp;");
        break;
      case '<':
        out.append("&lt;");
        break;
      case '>':
        out.append("&gt;");
        break;
      default:
        out.push_back(c);
    }
  }
  return out;
}

}  // namespace

XmlPlistStream::XmlPlistStream() {
  out_.reserve(4096);
  out_.append(kPrologue);
}

void XmlPlistStream::indent() {
  out_.append(static_cast<size_t>(depth_), '\t');
}

void XmlPlistStream::open(std::string_view tag) {
  indent();
  out_.push_back('<');
  out_.append(tag);
  out_.append(">\n");
  openEnd_ = out_.size();
  ++depth_;
}

void XmlPlistStream::close(std::string_view tag) {
  --depth_;
  if (openEnd_ == out_.size()) {
    // Nothing inside: the general writer's empty form.
    out_.resize(out_.size() - 2);
    out_.append("/>\n");
  } else {
    indent();
    out_.append("</");
    out_.append(tag);
    out_.append(">\n");
  }
  openEnd_ = std::string::npos;
}

void XmlPlistStream::leaf(std::string_view tag, std::string_view text) {
  indent();
  out_.push_back('<');
  out_.append(tag);
  out_.push_back('>');
  out_.append(text);
  out_.append("</");
  out_.append(tag);
  out_.append(">\n");
  openEnd_ = std::string::npos;
}

void XmlPlistStream::beginDict() {
  open("dict");
}
void XmlPlistStream::endDict() {
  close("dict");
}
void XmlPlistStream::beginArray() {
  open("array");
}
void XmlPlistStream::endArray() {
  close("array");
}

void XmlPlistStream::key(std::string_view name) {
  leaf("key", escapedText(name));
}

void XmlPlistStream::integer(int64_t v) {
  char buf[32];
  const int n = std::snprintf(buf, sizeof buf, "%" PRIi64, v);
  leaf("integer", std::string_view(buf, static_cast<size_t>(n)));
}

void XmlPlistStream::real(double v) {
  char buf[64];
  int n;
  // 17 significant digits read back as the same double; zero keeps a fraction so it still
  // reads as a real.
  if (std::isnan(v))
    n = std::snprintf(buf, sizeof buf, "nan");
  else if (std::isinf(v))
    n = std::snprintf(buf, sizeof buf, "%cinfinity", v > 0 ? '+' : '-');
  else if (v == 0.0)
    n = std::snprintf(buf, sizeof buf, "0.0");
  else
    n = std::snprintf(buf, sizeof buf, "%.17g", v);
  leaf("real", std::string_view(buf, static_cast<size_t>(n)));
}

void XmlPlistStream::string(std::string_view text) {
  leaf("string", escapedText(text));
}

void XmlPlistStream::date(plist::Date d) {
  // Whole seconds within 32 bits, as property-list dates are kept.
  double s = d.secondsSince2001;
  if (!(s == s)) s = 0;
  s = std::clamp(s, double{std::numeric_limits<int32_t>::min()},
                 double{std::numeric_limits<int32_t>::max()});
  const auto t = std::chrono::sys_seconds(
      std::chrono::seconds(static_cast<int64_t>(static_cast<int32_t>(s)) + kUnixToPlistEpoch));
  // Calendar arithmetic rather than gmtime_r and strftime: those load the local time zone,
  // which a UTC date never needs, reading /etc/localtime on every run.
  const auto day = std::chrono::floor<std::chrono::days>(t);
  const std::chrono::year_month_day ymd(day);
  const std::chrono::hh_mm_ss hms(t - day);
  char buf[32];
  const int n =
      std::snprintf(buf, sizeof buf, "%04d-%02u-%02uT%02d:%02d:%02dZ", static_cast<int>(ymd.year()),
                    static_cast<unsigned>(ymd.month()), static_cast<unsigned>(ymd.day()),
                    static_cast<int>(hms.hours().count()), static_cast<int>(hms.minutes().count()),
                    static_cast<int>(hms.seconds().count()));
  leaf("date", std::string_view(buf, n > 0 ? static_cast<size_t>(n) : 0));
}

std::string XmlPlistStream::finish() {
  out_.append("</plist>\n");
  return std::move(out_);
}

}  // namespace sampler
