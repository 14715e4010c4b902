// The application's options and the --machine-info text.
#include <gtest/gtest.h>

#include "app/CommandLine.h"
#include "app/MachineInfo.h"

namespace {

TEST(CommandLine, Parsing) {
  struct Case {
    std::vector<std::string> args;
    std::optional<std::string> platform;
    bool machineInfo, help;
    std::string error;
    std::vector<std::string> rest;
  };
  const Case cases[] = {
      {{"ferrolux"}, std::nullopt, false, false, "", {"ferrolux"}},
      {{"ferrolux", "--platform", "sim:macmini-m1", "--machine-info"},
       "sim:macmini-m1",
       true,
       false,
       "",
       {"ferrolux"}},
      {{"ferrolux", "--platform=linux"}, "linux", false, false, "", {"ferrolux"}},
      {{"ferrolux", "-platform", "offscreen", "--help"},
       std::nullopt,
       false,
       true,
       "",
       {"ferrolux", "-platform", "offscreen"}},
      {{"ferrolux", "--platform"},
       std::nullopt,
       false,
       false,
       "--platform needs a value",
       {"ferrolux"}},
      {{"ferrolux", "--platform="}, "", false, false, "--platform needs a value", {"ferrolux"}},
      {{"ferrolux", "--frobnicate"},
       std::nullopt,
       false,
       false,
       "unknown option --frobnicate",
       {"ferrolux"}},
      {{"ferrolux", "--platform", "linux", "sevre"},
       "linux",
       false,
       false,
       "unknown command sevre",
       {}},
      {{"ferrolux", "serve", "now"}, {}, false, false, "serve takes no word now", {}},
  };
  for (const auto& c : cases) {
    CommandLine cl = CommandLine::parse(c.args);
    EXPECT_EQ(cl.platform, c.platform);
    EXPECT_EQ(cl.machineInfo, c.machineInfo);
    EXPECT_EQ(cl.help, c.help);
    EXPECT_EQ(cl.error.rfind(c.error, 0), 0u) << cl.error;
    if (c.error.empty()) {
      EXPECT_EQ(cl.rest, c.rest);
    }
  }
}

TEST(CommandLine, SnapshotOptions) {
  struct Case {
    std::vector<std::string> args;
    std::optional<std::string> snapshot;
    int samples;
    bool dark;
    std::string error;
  };
  const Case cases[] = {
      {{"ferrolux", "--snapshot", "w.png", "--samples", "40", "--dark"}, "w.png", 40, true, ""},
      {{"ferrolux", "--snapshot", "w.png"}, "w.png", 5, false, ""},
      {{"ferrolux", "--snapshot"}, std::nullopt, 5, false, "--snapshot needs a value"},
      {{"ferrolux", "--samples", "4x"}, std::nullopt, 5, false, "--samples needs a number"},
      {{"ferrolux", "--samples", "-1"}, std::nullopt, 5, false, "--samples needs a number"},
  };
  for (const auto& c : cases) {
    CommandLine cl = CommandLine::parse(c.args);
    EXPECT_EQ(cl.error.rfind(c.error, 0), 0u) << cl.error;
    EXPECT_EQ(cl.error.empty(), c.error.empty()) << cl.error;
    if (!c.error.empty()) continue;
    EXPECT_EQ(cl.snapshot, c.snapshot);
    EXPECT_EQ(cl.samples, c.samples);
    EXPECT_EQ(cl.dark, c.dark);
  }
}

// Everything after "--" is the command, untouched, even words that look like our options.
TEST(CommandLine, RecordOptions) {
  struct Case {
    std::vector<std::string> args;
    std::optional<double> duration;
    std::optional<std::string> output;
    std::vector<std::string> command;
    std::optional<std::string> platform;
    std::string error;
  };
  const Case cases[] = {
      {{"ferrolux", "record", "--duration", "2.5", "--output", "a.csv", "--platform", "linux"},
       2.5,
       "a.csv",
       {},
       "linux",
       ""},
      {{"ferrolux", "record", "--", "make", "--platform", "x", "--"},
       std::nullopt,
       std::nullopt,
       {"make", "--platform", "x", "--"},
       std::nullopt,
       ""},
      {{"ferrolux", "--platform", "sim:m1", "--output", "b.csv", "record", "--duration", "1"},
       1,
       "b.csv",
       {},
       "sim:m1",
       ""},
      {{"ferrolux", "record", "sleep", "2"},
       {},
       {},
       {},
       {},
       "record takes its command after \"--\""},
      {{"ferrolux", "record", "--duration", "0"}, {}, {}, {}, {}, "--duration needs a number"},
      {{"ferrolux", "record", "--duration", "nan"}, {}, {}, {}, {}, "--duration needs a number"},
      {{"ferrolux", "record", "--output"}, {}, {}, {}, {}, "--output needs a value"},
      {{"ferrolux", "record", "--"}, {}, {}, {}, {}, "-- needs a command"},
      {{"ferrolux", "--duration", "5"}, {}, {}, {}, {}, "unknown option --duration"},
  };
  for (const auto& c : cases) {
    CommandLine cl = CommandLine::parse(c.args);
    EXPECT_EQ(cl.error.rfind(c.error, 0), 0u) << cl.error;
    EXPECT_EQ(cl.error.empty(), c.error.empty()) << cl.error;
    if (!c.error.empty()) continue;
    EXPECT_EQ(cl.command, "record");
    EXPECT_EQ(cl.duration, c.duration);
    EXPECT_EQ(cl.output, c.output);
    EXPECT_EQ(cl.recordArgv, c.command);
    EXPECT_EQ(cl.platform, c.platform);
  }
}

TEST(MachineInfo, TitleLines) {
  struct Case {
    MachineFacts facts;
    const char* chip;
    const char* gpu;
  };
  const Case cases[] = {
      {{"Apple M1", 4, 4, "Apple M1", 8, "ARM", false, "sim:macmini-m1"},
       "Apple M1 \u00B7 4 E-cores + 4 P-cores",
       "Apple M1 \u00B7 8 GPU cores"},
      {{"AMD EPYC", 0, 2, "Unknown", -1, "x86", false, "linux"},
       "AMD EPYC \u00B7 2 cores",
       "Unknown \u00B7 GPU core count unknown"},
      {{"AMD EPYC", 0, 2, "Unknown", -1, "x86", false, "linux", false},
       "AMD EPYC \u00B7 2 cores",
       "No GPU"},
      {{"", 1, 1, "X", 1, "ARM", false, "linux"},
       "Unknown processor \u00B7 1 E-core + 1 P-core",
       "X \u00B7 1 GPU core"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(chipLine(c.facts), c.chip);
    EXPECT_EQ(gpuLine(c.facts), c.gpu);
  }
  MachineFacts intel{"Intel", 4, 4, "Unknown", -1, "x86", true, "sim:macbookpro-intel"};
  EXPECT_NE(formatMachineInfo(intel).find("Monitoring: refused"), std::string::npos);
}

}  // namespace
