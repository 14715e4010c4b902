#include "app/log/LogFileData.h"

#include <charconv>
#include <cmath>
#include <cstdio>

namespace logfile {

const char* const kHeader =
    "System Time, Elapsed Time (sec), Package Power (Watt), CPU Power (Watt), DRAM Power (Watt), "
    "GPU Power (Watt), E-Core Frequency (Mhz), P-Core Frequency (Mhz), GPU Frequency (Mhz), CPU "
    "MIN Temperature (C), CPU AVG Temperature (C), CPU MAX Temperature (C), GPU AVG Temperature "
    "(C), CPU Utilization (%), E-Core Utilization (%), P-Core Utilization (%), GPU Utilization (%)";

std::string formatNumber(double value, int precision) {
  if (std::isnan(value)) return "nan";
  // std::to_chars never consults the locale and rounds exactly as printf does.
  char buffer[400];
  auto [end, ec] =
      std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, precision);
  if (ec != std::errc()) return "nan";
  return std::string(buffer, end);
}

namespace {

std::tm localTime(std::time_t t) {
  std::tm tm{};
  ::localtime_r(&t, &tm);
  return tm;
}

}  // namespace

std::string fileName(std::time_t start) {
  const std::tm tm = localTime(start);
  char name[64];
  std::snprintf(name, sizeof name, "PwrData %04d-%02d-%02d at %02d.%02d.%02d", tm.tm_year + 1900,
                tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec);
  return name;
}

std::string text(const std::vector<LogFileData>& rows) {
  std::string out = kHeader;
  out += '\n';
  for (const LogFileData& row : rows) {
    out += row.line();
    out += '\n';
  }
  return out;
}

}  // namespace logfile

LogFileData LogFileData::make(double secondsSince1970, double elapsed, const LogRowValues& v) {
  using logfile::formatNumber;
  // Whole milliseconds first, so a time stamp never shows 1000 ms or loses one to rounding.
  const long long ms = std::llround(secondsSince1970 * 1000);
  const long long seconds = ms >= 0 ? ms / 1000 : (ms - 999) / 1000;
  const int millis = static_cast<int>(ms - seconds * 1000);
  const std::tm tm = logfile::localTime(static_cast<std::time_t>(seconds));
  char stamp[32];
  std::snprintf(stamp, sizeof stamp, "%02d:%02d:%02d.%03d", tm.tm_hour, tm.tm_min, tm.tm_sec,
                millis);
  return {stamp,
          formatNumber(elapsed, 3),
          formatNumber(v.pkgPower, 3),
          formatNumber(v.cpuPower, 3),
          formatNumber(v.dramPower, 3),
          formatNumber(v.gpuPower, 3),
          formatNumber(v.eCoreFrequency * 1000, 0),
          formatNumber(v.pCoreFrequency * 1000, 0),
          formatNumber(v.gpuFrequency * 1000, 0),
          formatNumber(v.cpuAvgTemperature, 0),
          formatNumber(v.cpuMaxTemperature, 0),
          formatNumber(v.cpuMinTemperature, 0),
          formatNumber(v.gpuAvgTemperature, 0),
          formatNumber(v.utilization * 100, 3),
          formatNumber(v.eutilization * 100, 3),
          formatNumber(v.putilization * 100, 3),
          formatNumber(v.utilizationGPU * 100, 3)};
}

std::string LogFileData::line() const {
  // The columns put the CPU temperatures in the order minimum, average, maximum.
  const std::string* const columns[] = {
      &timeStamp,       &ellapsedTime,      &pkgPower,          &cpuPower,       &dramPower,
      &gpuPower,        &cpuECoreFrequency, &cpuPCoreFrequency, &gpuFrequency,   &cpuMinTmp,
      &cpuAvgTmp,       &cpuMaxTmp,         &gpuAvgTmp,         &cpuUtilization, &cpuEUtilization,
      &cpuPUtilization, &gpuUtilization};
  std::string out;
  out.reserve(160);
  bool first = true;
  for (const std::string* c : columns) {
    if (!first) out += ", ";
    first = false;
    out += *c;
  }
  return out;
}
