// The CSV's bytes: file names, the formatted row of a known sample, numbers that are not numbers,
// independence from the process locale.
#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdlib>
#include <ctime>
#include <limits>

#include "app/log/LogFileData.h"

namespace {

// Runs the test in UTC, so local times are the ones written.
class LogFileDataTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ::setenv("TZ", "UTC", 1);
    ::tzset();
  }
};

std::time_t utc(int y, int mo, int d, int h, int mi, int s) {
  std::tm tm{};
  tm.tm_year = y - 1900;
  tm.tm_mon = mo - 1;
  tm.tm_mday = d;
  tm.tm_hour = h;
  tm.tm_min = mi;
  tm.tm_sec = s;
  return ::timegm(&tm);
}

TEST_F(LogFileDataTest, FileNamesFromTheStartTime) {
  struct Case {
    std::time_t start;
    const char* name;
  };
  const Case cases[] = {
      {utc(2024, 3, 5, 14, 7, 33), "PwrData 2024-03-05 at 14.07.33"},
      {utc(2024, 12, 30, 10, 0, 0), "PwrData 2024-12-30 at 10.00.00"},
      {utc(2025, 1, 1, 0, 0, 9), "PwrData 2025-01-01 at 00.00.09"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(logfile::fileName(c.start), c.name);
}

TEST_F(LogFileDataTest, RowsAsTheFileWritesThem) {
  constexpr double nan = std::numeric_limits<double>::quiet_NaN();
  const LogRowValues sample{14.35, 2.4,  0.05, 0.1234, 2.064, 3.228,  0.389, 41.4,
                            44.6,  47.5, 38.2, 0.08,   0.5,   0.0125, 0};
  LogRowValues missing = sample;
  missing.cpuMinTemperature = -1;
  missing.cpuMaxTemperature = -1;
  missing.cpuAvgTemperature = nan;
  missing.utilization = -nan;  // 0/0 on most processors: printf would write "-nan"
  missing.putilization = std::copysign(nan, -1.0);
  struct Case {
    const char* name;
    double at, elapsed;
    LogRowValues values;
    const char* line;
  };
  const double t = static_cast<double>(utc(2024, 3, 5, 14, 7, 33));
  const Case cases[] = {
      {"known sample", t + 0.25, 0, sample,
       "14:07:33.250, 0.000, 14.350, 2.400, 0.050, 0.123, 2064, 3228, 389, 41, 45, 48, 38, "
       "8.000, 50.000, 1.250, 0.000"},
      {"not a number and -1", t + 0.9996, 12.3456, missing,
       "14:07:34.000, 12.346, 14.350, 2.400, 0.050, 0.123, 2064, 3228, 389, -1, nan, -1, 38, "
       "nan, 50.000, nan, 0.000"},
  };
  // A decimal comma in the process locale must not reach the file. scripts/install-deps makes
  // the locale, so its absence is a failure, not a quiet pass in the C locale.
  ASSERT_NE(std::setlocale(LC_NUMERIC, "de_DE.UTF-8"), nullptr) << "no de_DE.UTF-8 locale";
  ASSERT_EQ(std::localeconv()->decimal_point, std::string(","));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(LogFileData::make(c.at, c.elapsed, c.values).line(), c.line);
  }
  std::setlocale(LC_NUMERIC, "C");
  EXPECT_EQ(logfile::text({}), std::string(logfile::kHeader) + "\n");
  EXPECT_EQ(std::string(logfile::kHeader).substr(0, 33), "System Time, Elapsed Time (sec), ");
}

}  // namespace
