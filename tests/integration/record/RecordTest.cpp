// `ferrolux record` as users run it: the built program against the real helper and the real
// sampler on a simulated machine; the CSV it writes, the energy it reports, the exit status it
// passes on from a command, and what it says when it cannot record.
#include <gtest/gtest.h>

#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QTimer>

#include <sys/stat.h>

#include <charconv>
#include <csignal>
#include <fstream>
#include <sstream>

#include "integration/helper/HelperHarness.h"
#include "unit/core/FullFilesystem.h"
#include "unit/core/Numbers.h"
#include "unit/core/QtApp.h"

namespace {

namespace fs = std::filesystem;

const char* const kHeaderStart = "System Time, Elapsed Time (sec), Package Power (Watt),";

struct Outcome {
  int exitCode = -1;
  QString said;  // stderr
};

// `record ARGS` in `dir`; with a `shell` line, run by sh with the program as $0 and the
// arguments after it, so the line can pipe its outputs.
Outcome record(const fs::path& dir, const QStringList& args, const QString& shell = {}) {
  QProcess p;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("FERROLUX_HELPER_ENDPOINT", QString::fromStdString((dir / "h.sock").string()));
  env.insert("FERROLUX_DEFAULTS_FILE", QString::fromStdString((dir / "defaults.ini").string()));
  // The default folder is the desktop, else home: both inside the scratch folder.
  env.insert("HOME", QString::fromStdString(dir.string()));
  env.remove("XDG_DESKTOP_DIR");
  p.setProcessEnvironment(env);
  p.setWorkingDirectory(QString::fromStdString(dir.string()));
  const QString program = QStringLiteral(FERROLUX_BUILD_DIR "/app/ferrolux");
  const QStringList arguments = QStringList{"record", "--platform", "sim:macbookpro-m2pro"} + args;
  if (shell.isEmpty())
    p.start(program, arguments);
  else
    p.start("sh", QStringList{"-c", shell, program} + arguments);
  // The test's event loop runs meanwhile, so its timers can act on the helper.
  if (!fxtest::pumpUntil([&] { return p.state() == QProcess::NotRunning; }, 120000)) {
    p.kill();
    p.waitForFinished();
  }
  return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, p.readAllStandardError()};
}

std::vector<std::vector<std::string>> readCsv(const fs::path& path) {
  std::ifstream in(path);
  std::vector<std::vector<std::string>> rows;
  for (std::string line; std::getline(in, line);) {
    std::vector<std::string> fields;
    std::stringstream s(line);
    for (std::string f; std::getline(s, f, ',');)
      fields.push_back(f);
    rows.push_back(fields);
  }
  return rows;
}

// The file named by the run's "saved at" line.
fs::path savedAt(const Outcome& run) {
  return QRegularExpression("saved at (.*)\n").match(run.said).captured(1).toStdString();
}

double summaryNumber(const QString& said, const QString& pattern) {
  return QRegularExpression(pattern).match(said).captured(1).toDouble();
}

// The real helper running the real sampler on the simulated machine; a fresh helper for each
// run, so no run sees what an earlier one left behind.
class RecordWithHelper : public ::testing::Test, protected harness::SimHelper {
 protected:
  RecordWithHelper() : SimHelper("fx-record") {}
  void SetUp() override {
    fxtest::coreApp();
    ASSERT_FALSE(scratch.path.empty());
    freshHelper();
  }
  void freshHelper() {
    startHelper();
    ASSERT_TRUE(helper->ready()) << helper->log();
  }
};

// Five seconds give about five rows, and the package energy of the summary is what the rows
// themselves integrate to: each row's power over the time since the row before it, and the
// first row over its sampler window (the time the summary covers beyond the rows' span).
TEST_F(RecordWithHelper, DurationWritesRowsWhoseEnergyTheSummaryReports) {
  const fs::path csv = scratch.path / "out" / "five.csv";
  fs::create_directories(csv.parent_path());
  const fs::path png = scratch.path / "out" / "five.png";
  const Outcome run =
      record(scratch.path, {"--duration", "5", "--output", QString::fromStdString(csv), "--plot",
                            QString::fromStdString(png)});
  ASSERT_EQ(run.exitCode, 0) << run.said.toStdString() << helper->log();
  EXPECT_EQ(savedAt(run), csv) << run.said.toStdString();
  // The picture of the same rows, drawn when the recording ended.
  EXPECT_EQ(QImage(QString::fromStdString(png.string())).width(), 1600) << run.said.toStdString();

  const auto rows = readCsv(csv);
  ASSERT_FALSE(rows.empty());
  std::ifstream first(csv);
  std::string header;
  std::getline(first, header);
  EXPECT_EQ(header.rfind(kHeaderStart, 0), 0u) << header;
  const std::size_t samples = rows.size() - 1;
  EXPECT_GE(samples, 3u) << run.said.toStdString();
  EXPECT_LE(samples, 7u) << run.said.toStdString();
  EXPECT_EQ(summaryNumber(run.said, "(\\d+) samples"), samples) << run.said.toStdString();

  double fromRows = 0;
  for (std::size_t i = 2; i < rows.size(); ++i)
    fromRows +=
        fxtest::number(rows[i][2]) * (fxtest::number(rows[i][1]) - fxtest::number(rows[i - 1][1]));
  const double span = fxtest::number(rows.back()[1]);
  const double covered = summaryNumber(run.said, "covering ([0-9.]+) s");
  const double firstWindow = covered - span;
  EXPECT_GT(firstWindow, 0.05) << run.said.toStdString();
  EXPECT_LT(firstWindow, 1.5) << run.said.toStdString();
  fromRows += fxtest::number(rows[1][2]) * firstWindow;

  const double joules = summaryNumber(run.said, "\nPackage +\\S+ W +\\S+ W +([0-9.]+) J");
  const double wattHours = summaryNumber(run.said, "\nPackage .* J +([0-9.]+) Wh");
  ASSERT_GT(fromRows, 0) << run.said.toStdString();
  EXPECT_NEAR(joules, fromRows, 0.01 * fromRows) << run.said.toStdString();
  EXPECT_NEAR(wattHours, joules / 3600, 1e-6) << run.said.toStdString();
  EXPECT_NEAR(summaryNumber(run.said, "\nPackage +([0-9.]+) W"), joules / covered,
              0.001 + 0.001 * joules / covered)
      << run.said.toStdString();

  // The simulated macOS 13 reports no DRAM power: the column keeps 0, the summary says n/a.
  EXPECT_EQ(rows[1][4], " 0.000");
  EXPECT_TRUE(QRegularExpression("\nDRAM +n/a +n/a +n/a").match(run.said).hasMatch())
      << run.said.toStdString();
}

// The command's exit status becomes ours, and the rows of its run are written, to the logging
// folder and name when no --output is given.
TEST_F(RecordWithHelper, CommandExitStatusBecomesOurs) {
  struct Row {
    const char* name;
    QStringList command;
    int exitCode;
    const char* says;  // on stderr, besides the summary
  } rows[] = {
      {"sleep", {"sleep", "3"}, 0, ""},
      {"exit 7", {"sh", "-c", "exit 7"}, 7, ""},
      {"arguments pass unchanged", {"sh", "-c", "exit $0", "5"}, 5, ""},
      {"ended by a signal", {"sh", "-c", "kill -TERM $$"}, 128 + SIGTERM, ""},
      {"not found", {"no-such-command-here"}, 127, "cannot run no-such-command-here"},
      {"ended before the first sample", {"true"}, 66, "nothing was recorded"},
      {"ignores SIGTERM past the duration",
       {"sh", "-c", "trap '' TERM; while :; do sleep 0.2; done"},
       128 + SIGKILL,
       "was killed (SIGKILL)"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    freshHelper();
    const bool stubborn = std::string(row.name).starts_with("ignores");
    const QStringList options = stubborn ? QStringList{"--duration", "2", "--"} : QStringList{"--"};
    const Outcome run = record(scratch.path, options + row.command);
    EXPECT_EQ(run.exitCode, row.exitCode) << run.said.toStdString();
    EXPECT_TRUE(run.said.contains(row.says)) << run.said.toStdString();
    const fs::path csv = savedAt(run);
    EXPECT_EQ(csv.parent_path(), scratch.path) << run.said.toStdString();
    EXPECT_EQ(csv.filename().string().rfind("PwrData ", 0), 0u) << csv;
    EXPECT_EQ(csv.extension(), ".csv");
    EXPECT_FALSE(readCsv(csv).empty()) << csv;
    if (std::string(row.name) == "sleep") {
      EXPECT_GE(readCsv(csv).size(), 2u) << run.said.toStdString();
    }
    // The length is the recording's, not the ten seconds spent waiting for the command to stop.
    if (stubborn) {
      EXPECT_LT(summaryNumber(run.said, "recorded ([0-9.]+) s"), 5) << run.said.toStdString();
    }
    fs::remove(csv);
  }
}

// A file that cannot be written where it was asked never loses the rows, and never passes as
// success: a missing folder, a full disk (a real one: a small tmpfs), the chosen logging folder
// full. An existing regular file is replaced whole.
TEST_F(RecordWithHelper, UnwritableOutputFallsBackToTheLoggingFolder) {
  const fxtest::FullFilesystem full(scratch.path / "full");
  harness::writeFile(scratch.path / "old.csv", "an earlier file\n");
  struct Row {
    const char* output;  // "": none, and the logging folder setting names the full disk
    int exitCode;
    std::string says;
  } rows[] = {
      {"/proc/nope/x.csv", 73, "cannot write /proc/nope/x.csv"},
      {"full/x.csv", 73, "full/x.csv: " + fxtest::FullFilesystem::noSpaceText()},
      {"", 73, "full: " + fxtest::FullFilesystem::noSpaceText()},
      {"old.csv", 0, ""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.output);
    if ((!*row.output || *row.output == 'f') && full.path.empty()) continue;
    freshHelper();
    harness::writeFile(scratch.path / "defaults.ini",
                       *row.output ? "" : "[General]\npathFolderLocation=" + full.path.string());
    QStringList args{"--duration", "4"};
    if (*row.output) args << "--output" << row.output;
    const Outcome run = record(scratch.path, args);
    EXPECT_EQ(run.exitCode, row.exitCode) << run.said.toStdString();
    EXPECT_TRUE(run.said.contains(QString::fromStdString(row.says))) << run.said.toStdString();
    // The rows are in the file asked for, or else in the next folder that took them.
    const fs::path csv = scratch.path / savedAt(run);
    EXPECT_EQ(csv, scratch.path / (row.exitCode ? csv.filename().string() : row.output));
    EXPECT_GE(readCsv(csv).size(), 2u) << run.said.toStdString();
    if (row.exitCode) fs::remove(csv);
  }
  if (full.path.empty()) GTEST_SKIP() << "the full-disk rows did not run: " << full.skipReason;
}

// The measurement has a hole: the helper is lost while the command runs, or the sampler stalls
// for longer than three intervals. The summary says "incomplete" and the time the samples cover;
// the command succeeded, so the status is 75.
TEST_F(RecordWithHelper, AnIncompleteMeasurementSaysSo) {
  struct Row {
    const char* name;
    bool killHelper;  // after the sixth sampler run; otherwise runs 3 to 7 take five seconds more
    const char* says;
  } rows[] = {
      {"helper lost", true, "the helper stopped answering"},
      {"sampler stalls", false, "no sample for"},
  };
  const fs::path count = scratch.path / "count";
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    fs::remove(count);
    harness::writeFile(
        tools / "powermetrics",
        "#!/bin/sh\nn=$(($(cat '" + count.string() + "' 2>/dev/null || echo 0) + 1))\n" +
            "echo $n > '" + count.string() + "'\n" +
            (row.killHelper ? "" : "[ $n -ge 3 ] && [ $n -le 7 ] && sleep 5\n") +
            "FERROLUX_SYSFS_ROOT='" FERROLUX_FIXTURES_DIR
            "/sysfs/vm-minimal' FERROLUX_SIM_PROFILE='" +
            harness::kSimProfileM2Pro + "' exec '" POWERMETRICS_PROGRAM "' \"$@\"\n");
    freshHelper();
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
      const std::string runs = harness::readFile(count);
      int n = 0;
      std::from_chars(runs.data(), runs.data() + runs.size(), n);
      // The first runs may be the start-up checks', before any sample reaches the recording.
      if (row.killHelper && n >= 6) helper->kill(SIGKILL);
    });
    poll.start(50);
    const Outcome run = record(scratch.path, {"--", "sleep", "14"});
    EXPECT_EQ(run.exitCode, 75) << run.said.toStdString();
    EXPECT_TRUE(run.said.contains("incomplete: the samples cover ")) << run.said.toStdString();
    EXPECT_TRUE(run.said.contains(row.says)) << run.said.toStdString();
    const double covered = summaryNumber(run.said, "covering ([0-9.]+) s");
    EXPECT_GT(covered, 0.5) << run.said.toStdString();
    EXPECT_LT(covered, 12) << run.said.toStdString();
    fs::remove(savedAt(run));
  }
}

// A closed pipe on standard error (`2>&1 >/dev/null | head -c 1`) does not kill the run before
// it saves.
TEST_F(RecordWithHelper, AClosedPipeDoesNotStopTheSave) {
  const Outcome run =
      record(scratch.path, {"--duration", "4", "--output", "piped.csv"},
             R"({ "$0" "$@" 2>&1 >/dev/null; echo $? > status; } | head -c 1 >/dev/null)");
  EXPECT_EQ(harness::readFile(scratch.path / "status"), "0\n");
  EXPECT_GE(readCsv(scratch.path / "piped.csv").size(), 2u);
}

// Each refusal comes before anything is recorded or run, and what --output names is left as it
// was (as root, /dev/null itself).
TEST(RecordProgram, SaysWhyItCannotRecord) {
  fxtest::coreApp();
  struct Row {
    const char* name;
    QStringList args;  // %1: the scratch folder
    int exitCode;
    const char* says;
  } rows[] = {
      {"helper not installed", {"--duration", "1"}, 69, "not installed"},
      {"command not run without a helper", {"--", "touch", "ran"}, 69, "not installed"},
      {"words without --", {"touch", "ran"}, 64, "record [OPTIONS] -- touch"},
      {"output is a FIFO", {"--output", "%1/fifo", "--", "touch", "ran"}, 73, "fifo is a FIFO"},
      {"output is a device",
       {"--output", "/dev/null", "--", "touch", "ran"},
       73,
       "/dev/null is a device"},
      {"output links to a device",
       {"--output", "%1/null", "--", "touch", "ran"},
       73,
       "null is a link to a device"},
      {"output is a folder", {"--output", "%1", "--", "touch", "ran"}, 73, "is a folder"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const harness::ScratchDir scratch("fx-record");
    ASSERT_EQ(::mkfifo((scratch.path / "fifo").c_str(), 0600), 0);
    fs::create_symlink("/dev/null", scratch.path / "null");
    QStringList args = row.args;
    for (QString& a : args)
      a.replace("%1", QString::fromStdString(scratch.path.string()));
    const Outcome run = record(scratch.path, args);
    EXPECT_EQ(run.exitCode, row.exitCode) << run.said.toStdString();
    EXPECT_TRUE(run.said.contains(row.says)) << run.said.toStdString();
    EXPECT_FALSE(fs::exists(scratch.path / "ran"));
    EXPECT_TRUE(fs::is_fifo(scratch.path / "fifo"));
    EXPECT_TRUE(fs::is_symlink(scratch.path / "null"));
    EXPECT_TRUE(fs::is_character_file("/dev/null"));
  }
}

}  // namespace
