#include "app/plot/Recording.h"

#include <charconv>
#include <cmath>
#include <limits>

#include "app/log/LogFileData.h"

namespace plot {

namespace {

constexpr std::size_t kFields = 2 + kColumns;

std::string_view trimmed(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
    s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
    s.remove_suffix(1);
  return s;
}

// A whole field as a number; from_chars reads "nan", "inf" and "-1" alike, never by locale.
bool number(std::string_view field, double& out) {
  if (field.empty()) return false;
  const char* end = field.data() + field.size();
  const auto [stop, ec] = std::from_chars(field.data(), end, out);
  return ec == std::errc() && stop == end;
}

// Fills `fields` with the line's comma-separated fields; false when the count is wrong.
bool split(std::string_view line, std::array<std::string_view, kFields>& fields,
           std::size_t& count) {
  count = 0;
  while (true) {
    const std::size_t comma = line.find(',');
    if (count == kFields) {
      ++count;
      return false;
    }
    fields[count++] = trimmed(line.substr(0, comma));
    if (comma == std::string_view::npos) break;
    line.remove_prefix(comma + 1);
  }
  return count == kFields;
}

}  // namespace

ReadResult readRecording(std::string_view text) {
  ReadResult result;
  const auto fail = [&result](int line, std::string why) {
    result.error = std::move(why);
    result.errorLine = line;
    return std::move(result);
  };
  const std::size_t headerEnd = text.find('\n');
  if (trimmed(text.substr(0, headerEnd)) != logfile::kHeader)
    return fail(1, "the header is not that of a Ferrolux recording");
  // Rows would start on line 2.
  if (headerEnd == std::string_view::npos) return fail(2, "the recording has no rows");
  text.remove_prefix(headerEnd + 1);

  Recording& r = result.recording;
  std::array<std::string_view, kFields> fields;
  int lineNumber = 1;
  while (!text.empty()) {
    ++lineNumber;
    const std::size_t end = text.find('\n');
    if (end == std::string_view::npos) {
      // Whole lines end with a line feed: this one was being written when the writer stopped.
      result.partialLine = lineNumber;
      break;
    }
    const std::string_view line = text.substr(0, end);
    text.remove_prefix(end + 1);
    std::size_t count = 0;
    if (!split(line, fields, count)) {
      return fail(lineNumber, "expected " + std::to_string(kFields) + " fields, found " +
                                  (count > kFields ? "more" : std::to_string(count)));
    }
    if (fields[0].empty()) return fail(lineNumber, "the time stamp is empty");
    double elapsed = 0;
    if (!number(fields[1], elapsed) || !std::isfinite(elapsed) || elapsed < 0)
      return fail(lineNumber, "the elapsed time \"" + std::string(fields[1]) + "\" is not a time");
    if (!r.elapsed.empty() && elapsed < r.elapsed.back())
      return fail(lineNumber, "the elapsed time goes back");
    for (std::size_t c = 0; c < kColumns; ++c) {
      double value = 0;
      if (!number(fields[2 + c], value)) {
        return fail(lineNumber, "field " + std::to_string(3 + c) + " \"" +
                                    std::string(fields[2 + c]) + "\" is not a number");
      }
      // Negative readings are the sources' "none"; infinities have no place on a scale.
      if (!(value >= 0) || !std::isfinite(value)) value = std::numeric_limits<double>::quiet_NaN();
      r.values[c].push_back(value);
    }
    r.elapsed.push_back(elapsed);
    if (r.firstTime.empty()) r.firstTime = fields[0];
    r.lastTime = fields[0];
  }
  if (r.rows() == 0) return fail(2, "the recording has no rows");
  return result;
}

}  // namespace plot
