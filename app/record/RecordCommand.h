// `ferrolux record`: the root model without a window, recording every sample into a CSV file in
// the logging format (the logging folder and name, or --output FILE) and ending with the energy
// summary on stderr. It records for --duration SECONDS, for the life of the command given after
// "--" (started with a fixed argument vector, no shell), or until Ctrl-C, whichever ends first.
//
// Exit status: the command's when there is one (128 + the signal's number when a signal ended
// it; 126 when it cannot be run, 127 when it is not found); otherwise 0. 73 when no file could
// be written where it was asked (unless the command already failed); the helper check's status
// when the helper cannot be used (see headless::exitCode), 69 when it is lost with no command
// running.
#pragma once

#include "app/record/Recorder.h"

namespace record {

// `argc`/`argv` go to the application object. Call after the platform has been chosen.
int runRecord(RecordRequest request, int& argc, char** argv);

}  // namespace record
