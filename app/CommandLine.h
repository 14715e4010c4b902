// The application's own options, taken out of the argument list before Qt sees it (Qt would
// read "--platform" as its window-system plugin).
#pragma once

#include <optional>
#include <string>
#include <vector>

struct CommandLine {
  std::optional<std::string> platform;  // --platform SPEC or --platform=SPEC
  bool machineInfo = false;             // --machine-info
  bool sensors = false;                 // --sensors
  bool help = false;                    // --help, -h
  std::optional<std::string> snapshot;  // --snapshot FILE.png
  int samples = 5;                      // --samples N, with --snapshot
  bool dark = false;                    // --dark, with --snapshot
  std::string command;                  // the first argument when it names a command: "serve"
  std::optional<std::string> listen;    // serve --listen ADDRESS:PORT
  std::optional<double> duration;       // record --duration SECONDS
  std::optional<std::string> output;    // record --output FILE
  std::optional<std::string> plot;      // record --plot FILE.png|FILE.svg
  std::vector<std::string> plotArgs;    // every argument after "plot", read by that command
  std::vector<std::string> recordArgv;  // record -- COMMAND ARGS...
  std::string error;                    // set when the arguments are unusable
  std::vector<std::string> rest;        // the program name and every argument left for Qt

  static CommandLine parse(const std::vector<std::string>& args);
  static std::string usage(const std::string& program);
};
