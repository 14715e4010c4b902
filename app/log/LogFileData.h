// One row of the CSV log: seventeen ready-formatted text fields, and the file's fixed parts
// (name, header, line layout). Plain values and pure functions without Qt, so the recorder, the
// recovery file and any command-line recorder write exactly the same bytes.
//
// Numbers are formatted as printf would in the C locale, whatever the process locale: "." as
// the decimal separator, "-1" as -1, and "nan" for every value that is not a number (a NaN with
// its sign bit set included, which printf would write as "-nan").
#pragma once

#include <ctime>
#include <string>
#include <vector>

// The current values of the four module models that one row records, in the models' units:
// watts, gigahertz, degrees Celsius, fractions 0..1.
struct LogRowValues {
  double pkgPower = 0;
  double cpuPower = 0;
  double dramPower = 0;
  double gpuPower = 0;
  double eCoreFrequency = 0;
  double pCoreFrequency = 0;
  double gpuFrequency = 0;
  double cpuMinTemperature = 0;
  double cpuAvgTemperature = 0;
  double cpuMaxTemperature = 0;
  double gpuAvgTemperature = 0;
  double utilization = 0;
  double eutilization = 0;
  double putilization = 0;
  double utilizationGPU = 0;
};

struct LogFileData {
  std::string timeStamp;
  std::string ellapsedTime;
  std::string pkgPower;
  std::string cpuPower;
  std::string dramPower;
  std::string gpuPower;
  std::string cpuECoreFrequency;
  std::string cpuPCoreFrequency;
  std::string gpuFrequency;
  std::string cpuAvgTmp;
  std::string cpuMaxTmp;
  std::string cpuMinTmp;
  std::string gpuAvgTmp;
  std::string cpuUtilization;
  std::string cpuEUtilization;
  std::string cpuPUtilization;
  std::string gpuUtilization;

  // The row taken at `secondsSince1970` (local wall-clock time), `elapsed` seconds after the
  // recording's first row.
  static LogFileData make(double secondsSince1970, double elapsed, const LogRowValues& values);

  // The fields in the file's column order, joined by ", ", without a line feed.
  std::string line() const;
};

namespace logfile {

// The first line of every log file, without its line feed.
extern const char* const kHeader;

// "PwrData YYYY-MM-DD at HH.mm.ss" for a recording started at `start` (local time), without
// the ".csv".
std::string fileName(std::time_t start);

// The whole file: the header and one line per row, each ended by a single line feed.
std::string text(const std::vector<LogFileData>& rows);

// printf's "%.<precision>f" in the C locale, with "nan" for any NaN.
std::string formatNumber(double value, int precision);

}  // namespace logfile
