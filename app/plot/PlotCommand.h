// `ferrolux plot FILE.csv [--output FILE.png|FILE.svg] [--dark] [--width N] [--incomplete]`: a
// recording as a picture (PlotPage.h), by default a PNG beside the CSV with its name.
//
// Exit status: 0 when the picture is written; 64 for unusable arguments; 66 when the recording
// cannot be read; 65 when it is not a recording (one error naming the line); 73 when the
// picture cannot be written. A last line cut off mid-way is left out with a note on stderr, and
// the picture says the recording is incomplete.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace plot {

struct PlotRequest {
  std::string input;
  std::optional<std::string> output;
  bool dark = false;
  int width = 800;
  bool incomplete = false;
  std::string error;  // set when the arguments are unusable

  // The arguments after "plot".
  static PlotRequest parse(const std::vector<std::string>& args);
};

// `argc`/`argv` go to the application object; the picture is drawn offscreen.
int runPlot(const PlotRequest& request, int& argc, char** argv);

}  // namespace plot
