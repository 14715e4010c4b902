// The picture `record --plot FILE` leaves beside its recording. It is drawn by `ferrolux plot`
// in a process of its own: drawing needs a graphical application object with an offscreen
// window system, which the recorder (and the command it runs, which inherits its environment)
// must not have.
#pragma once

#include <string>

namespace record {

// Runs this program's `plot` on `csv` into `picture`, marked incomplete when asked, passing its
// messages on to stderr. Returns whether the picture was written.
bool drawRecording(const std::string& csv, const std::string& picture, bool incomplete);

}  // namespace record
