// A recording read back from its CSV file, as the window's logging and `ferrolux record` write
// it (app/log/LogFileData.h): the header line, then one line of seventeen fields per sample.
//
// Numbers are read with std::from_chars, so the process locale never changes what a file means.
// A value that is "nan" or negative (the temperature sources write -1 for "no reading") has no
// reading and is kept as NaN, which every consumer skips. A file that ends without a line feed
// was cut off while being written (a crash, a full disk): its last partial line is left out and
// reported, and the rest is kept. Anything else that does not fit the format is an error that
// names its line.
//
// Threads: pure functions over plain values.
#pragma once

#include <array>
#include <string>
#include <string_view>
#include <vector>

namespace plot {

// The measured columns, in the file's order after the time stamp and the elapsed seconds.
enum Column : std::size_t {
  PkgPower,
  CpuPower,
  DramPower,
  GpuPower,
  ECoreMHz,
  PCoreMHz,
  GpuMHz,
  CpuMinC,
  CpuAvgC,
  CpuMaxC,
  GpuAvgC,
  CpuUtilization,
  ECoreUtilization,
  PCoreUtilization,
  GpuUtilization,
  kColumns
};

struct Recording {
  std::vector<double> elapsed;                       // seconds since the first row, rising
  std::array<std::vector<double>, kColumns> values;  // one per row; NaN: no reading
  std::string firstTime;                             // the first row's "HH:MM:SS.mmm"
  std::string lastTime;                              // the last row's
  std::size_t rows() const { return elapsed.size(); }
};

struct ReadResult {
  Recording recording;
  std::string error;    // empty when the file was read
  int errorLine = 0;    // 1-based, with the error
  int partialLine = 0;  // the cut-off last line that was left out; 0: none
  bool ok() const { return error.empty(); }
};

ReadResult readRecording(std::string_view text);

}  // namespace plot
