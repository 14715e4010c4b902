// `ferrolux --snapshot FILE.png`: the real window, built offscreen, fed a few samples and saved
// at twice its size, for tests and documentation.
//
// Samples come from the installed helper when it answers and is current. Otherwise the
// application runs the platform's sampler itself, as the current user, and hands each document
// to the sample store as a helper reply would; on a simulated Mac that needs no root, and on
// Linux the figures that do (RAPL power) read 0. Main thread only.
#pragma once

#include <QString>

class GeneralModel;
class QApplication;
class UserDefaults;
namespace platform {
class Platform;
}

struct SnapshotOptions {
  QString path;
  int samples = 5;
  bool dark = false;
};

namespace Snapshot {

// Must run before the QApplication exists: offscreen at a scale of 2.
void prepareEnvironment();

// Renders the window and writes the PNG. Returns the process exit status: 0, or 73 when the file
// could not be written.
int run(GeneralModel& model, UserDefaults& defaults, platform::Platform& machine,
        const SnapshotOptions& options);

}  // namespace Snapshot
