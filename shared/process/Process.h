// Bounded child processes: run one program with a fixed argument vector and collect its output.
//
// Meant for programs run on behalf of a less trusted caller (the helper's sampler runs, the
// installer's steps): no shell, an explicit environment, nothing inherited but the three
// standard streams, an output cap and a time limit, and the child is always reaped.
#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace proc {

struct Spec {
  std::string path;               // absolute path of the program; no search
  std::vector<std::string> args;  // argv[1..]; argv[0] is `path`
  std::vector<std::string> env;   // "NAME=value" entries, the whole environment
  size_t outputCap = 4u << 20;    // more standard output than this kills the child
  std::chrono::milliseconds timeLimit{10000};
  std::string workingDirectory = "/";  // never the caller's, which may be anywhere
  bool captureStderr = false;          // else standard error goes to /dev/null
  size_t stderrCap = 64u << 10;        // captured standard error beyond this is dropped
  // Called on the calling thread once the program is known to be running (after its exec).
  std::function<void()> onLaunched;
};

struct Result {
  bool launched = false;  // false: the program could not be started at all
  int launchErrno = 0;    // why, when not launched
  bool exited = false;    // ended by exit(); exitStatus holds the status
  int exitStatus = -1;
  int termSignal = 0;      // the signal that ended it, when it did not exit
  bool timedOut = false;   // killed because the time limit passed
  bool truncated = false;  // killed because its output passed the cap; `output` is incomplete
  std::string output;      // standard output, at most outputCap bytes
  std::string errorOutput;
  bool succeeded() const {
    return launched && exited && exitStatus == 0 && !timedOut && !truncated;
  }
};

// Runs the program to its end and returns what happened. Blocks the calling thread. The child
// gets its own process group, which is killed on the time limit, on the output cap and when the
// child itself ends (so strays it left behind do not outlive it); it is also killed if the
// calling thread goes away first. Never throws.
Result run(const Spec& spec);

}  // namespace proc
