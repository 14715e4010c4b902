#include "app/CommandLine.h"

#include <cstdlib>

namespace {

bool takesValue(const std::string& a) {
  return a == "--platform" || a == "--listen" || a == "--duration" || a == "--output" ||
         a == "--snapshot" || a == "--samples" || a == "--plot";
}

bool isCommand(const std::string& a) {
  return a == "serve" || a == "record" || a == "plot";
}

// Whether args[i] follows one of Qt's single-dash options, whose value it may be.
bool followsQtOption(const std::vector<std::string>& args, size_t i) {
  const std::string& before = args[i - 1];
  return before.size() > 1 && before[0] == '-' && before[1] != '-';
}

// Where the command word is: the first word that is neither an option nor an option's value,
// before any "--". 0 when there is none.
size_t commandIndex(const std::vector<std::string>& args) {
  for (size_t i = 1; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--") return 0;
    if (takesValue(a)) {
      ++i;
      continue;
    }
    // A word after one of Qt's single-dash options may be that option's value.
    if (a.empty() || a[0] == '-' || followsQtOption(args, i)) continue;
    return isCommand(a) ? i : 0;
  }
  return 0;
}

}  // namespace

CommandLine CommandLine::parse(const std::vector<std::string>& args) {
  CommandLine cl;
  // Global options may come before or after the command word.
  const size_t commandAt = commandIndex(args);
  if (commandAt) cl.command = args[commandAt];
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (i == 0) {
      cl.rest.push_back(a);
    } else if (i == commandAt) {
      // A picture of a file reads its own arguments.
      if (cl.command == "plot") {
        cl.plotArgs.assign(args.begin() + static_cast<long>(i) + 1, args.end());
        break;
      }
      continue;
    } else if (cl.command == "record" &&
               (a == "--duration" || a == "--output" || a == "--plot" || a == "--")) {
      if (a == "--") {
        cl.recordArgv.assign(args.begin() + static_cast<long>(i) + 1, args.end());
        if (cl.recordArgv.empty() || cl.recordArgv.front().empty())
          cl.error = "-- needs a command to run";
        break;
      }
      if (i + 1 >= args.size() || args[i + 1].empty()) {
        cl.error = a + " needs a value";
        break;
      }
      const std::string& value = args[++i];
      if (a == "--output" || a == "--plot") {
        (a == "--output" ? cl.output : cl.plot) = value;
        continue;
      }
      char* end = nullptr;
      const double seconds = std::strtod(value.c_str(), &end);
      // Bounded so that the milliseconds fit a timer's int.
      if (*end != '\0' || !(seconds > 0 && seconds <= 2e6)) {
        cl.error = "--duration needs a number of seconds above 0 (at most 2000000)";
        break;
      }
      cl.duration = seconds;
    } else if (a == "--listen" && cl.command == "serve") {
      if (i + 1 >= args.size() || args[i + 1].empty()) {
        cl.error = "--listen needs a value: ADDRESS:PORT";
        break;
      }
      cl.listen = args[++i];
    } else if (a == "--machine-info") {
      cl.machineInfo = true;
    } else if (a == "--sensors") {
      cl.sensors = true;
    } else if (a == "--help" || a == "-h") {
      cl.help = true;
    } else if (a == "--platform") {
      if (i + 1 >= args.size() || args[i + 1].empty()) {
        cl.error = "--platform needs a value: linux or sim:PROFILE";
        break;
      }
      cl.platform = args[++i];
    } else if (a.rfind("--platform=", 0) == 0) {
      cl.platform = a.substr(11);
      if (cl.platform->empty()) {
        cl.error = "--platform needs a value: linux or sim:PROFILE";
        break;
      }
    } else if (a == "--snapshot" || a == "--samples") {
      if (i + 1 >= args.size() || args[i + 1].empty()) {
        cl.error = a + " needs a value";
        break;
      }
      const std::string& value = args[++i];
      if (a == "--snapshot") {
        cl.snapshot = value;
      } else {
        char* end = nullptr;
        const long n = std::strtol(value.c_str(), &end, 10);
        if (*end != '\0' || n < 0 || n > 350) {
          cl.error = "--samples needs a number from 0 to 350";
          break;
        }
        cl.samples = int(n);
      }
    } else if (a == "--dark") {
      cl.dark = true;
    } else if (a.rfind("--", 0) == 0 && a.size() > 2) {
      // Qt's own options take one dash; a double-dash word is ours and unknown.
      cl.error = "unknown option " + a;
      break;
    } else if (cl.command == "record" && !a.empty() && a[0] != '-') {
      cl.error = "record takes its command after \"--\": " + args[0] + " record [OPTIONS] -- " + a +
                 " ...";
      break;
    } else if (!cl.command.empty() && !a.empty() && a[0] != '-') {
      cl.error = cl.command + " takes no word " + a;
      break;
    } else if (!a.empty() && a[0] != '-' && !followsQtOption(args, i)) {
      // A word that is no option's value would be taken for a command that does not exist; the
      // window must not open in its place.
      cl.error = "unknown command " + a + " (the commands are serve, record and plot)";
      break;
    } else {
      cl.rest.push_back(a);
    }
  }
  return cl;
}

std::string CommandLine::usage(const std::string& program) {
  return "usage: " + program +
         " [--platform linux|sim:PROFILE] [--machine-info] [--sensors] [--help]\n"
         "       " +
         program +
         " --snapshot FILE.png [--samples N] [--dark] [--platform ...]\n"
         "       " +
         program +
         " serve [--listen ADDRESS:PORT] [--platform linux|sim:PROFILE]\n"
         "       " +
         program +
         " record [--duration SECONDS] [--output FILE] [--plot FILE.png|FILE.svg]\n"
         "              [--platform ...] [-- COMMAND ARGS...]\n"
         "       " +
         program +
         " plot FILE.csv [--output FILE.png|FILE.svg] [--dark] [--width POINTS] [--incomplete]\n"
         "  --platform SPEC   the machine to watch: linux (this computer, the default) or\n"
         "                    sim:PROFILE (a simulated Mac; PROFILE is a profile name or path).\n"
         "                    FERROLUX_PLATFORM gives the default.\n"
         "  --machine-info    print the machine's chip, cores and GPU, then exit\n"
         "  --sensors         print the temperature source, its sensors and readings, then exit\n"
         "  --snapshot FILE   render the window offscreen at 2x after N samples (default 5)\n"
         "                    into a PNG, light or with --dark, then exit\n"
         "  --help            show this text\n"
         "  serve             export the measurements for Prometheus at\n"
         "                    http://ADDRESS:PORT/metrics, without a window\n"
         "  --listen A:P      where serve listens: a numeric IPv4 address and a port\n"
         "                    (default 127.0.0.1:10073; port 0 picks a free one)\n"
         "  plot              draw a recording as the window's four cards over its whole\n"
         "                    length, with averages, peaks and energy, into a PNG at 2x\n"
         "                    (beside the CSV by default) or an SVG\n"
         "  --plot FILE       with record: draw the recording into FILE when it ends\n";
}
