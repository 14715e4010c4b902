// `ferrolux record` as users run it: the built program against the real helper and the real
// sampler on a simulated machine; the CSV it writes, the energy it reports, the exit status it
// passes on from a command, and what it says when it cannot record.
#include <gtest/gtest.h>

#include <QProcess>
#include <QRegularExpression>

#include <csignal>
#include <fstream>
#include <sstream>

#include "integration/helper/HelperHarness.h"
#include "unit/core/Numbers.h"
#include "unit/core/QtApp.h"

namespace {

namespace fs = std::filesystem;

const char* const kHeaderStart = "System Time, Elapsed Time (sec), Package Power (Watt),";

struct Outcome {
  int exitCode = -1;
  QString said;  // stderr
};

Outcome record(const fs::path& dir, const QStringList& args) {
  QProcess p;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("FERROLUX_HELPER_ENDPOINT", QString::fromStdString((dir / "h.sock").string()));
  env.insert("FERROLUX_DEFAULTS_FILE", QString::fromStdString((dir / "defaults.ini").string()));
  // The default folder is the desktop, else home: both inside the scratch folder.
  env.insert("HOME", QString::fromStdString(dir.string()));
  env.remove("XDG_DESKTOP_DIR");
  p.setProcessEnvironment(env);
  p.setWorkingDirectory(QString::fromStdString(dir.string()));
  p.start(QStringLiteral(FERROLUX_BUILD_DIR "/app/ferrolux"),
          QStringList{"record", "--platform", "sim:macbookpro-m2pro"} + args);
  if (!p.waitForFinished(120000)) p.kill();
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

// The real helper running the real sampler on the simulated machine, with a fixed seed and the
// host's load taken from a fixture.
class RecordWithHelper : public ::testing::Test {
 protected:
  void SetUp() override {
    fxtest::coreApp();
    ASSERT_FALSE(scratch.path.empty());
    harness::writeSimSampler(tools / "powermetrics", POWERMETRICS_PROGRAM,
                             harness::kSimProfileM2Pro);
    startHelper();
  }

  // The program tells the helper to close when it ends, as the window does; the socket unit
  // starts a new one for the next client, and so does this.
  void startHelper() {
    helper.reset();
    helper = harness::startSimHelper(scratch.path, tools);
    ASSERT_TRUE(helper->ready()) << helper->log();
  }

  harness::ScratchDir scratch{"fx-record"};
  fs::path tools = scratch.path / "tools";
  std::unique_ptr<harness::HelperProcess> helper;
};

// Five seconds give about five rows, and the package energy of the summary is what the rows
// themselves integrate to: each row's power over the time since the row before it, and the
// first row over its sampler window (the time the summary covers beyond the rows' span).
TEST_F(RecordWithHelper, DurationWritesRowsWhoseEnergyTheSummaryReports) {
  const fs::path csv = scratch.path / "out" / "five.csv";
  fs::create_directories(csv.parent_path());
  const Outcome run =
      record(scratch.path, {"--duration", "5", "--output", QString::fromStdString(csv)});
  ASSERT_EQ(run.exitCode, 0) << run.said.toStdString() << helper->log();
  EXPECT_EQ(savedAt(run), csv) << run.said.toStdString();

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
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    startHelper();
    const Outcome run = record(scratch.path, QStringList{"--"} + row.command);
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
    fs::remove(csv);
  }
}

// A file that cannot be written where it was asked never loses the rows, and never passes as
// success.
TEST_F(RecordWithHelper, UnwritableOutputFallsBackToTheLoggingFolder) {
  const Outcome run = record(scratch.path, {"--duration", "2", "--output", "/proc/nope/x.csv"});
  EXPECT_EQ(run.exitCode, 73) << run.said.toStdString();
  EXPECT_TRUE(run.said.contains("cannot write /proc/nope/x.csv")) << run.said.toStdString();
  const fs::path csv = savedAt(run);
  EXPECT_EQ(csv.parent_path(), scratch.path) << run.said.toStdString();
  EXPECT_GE(readCsv(csv).size(), 2u) << run.said.toStdString();
}

TEST(RecordProgram, SaysWhyItCannotRecord) {
  fxtest::coreApp();
  struct Row {
    const char* name;
    QStringList args;
    int exitCode;
    const char* says;
  } rows[] = {
      {"helper not installed", {"--duration", "1"}, 69, "not installed"},
      {"command not run without a helper", {"--", "touch", "ran"}, 69, "not installed"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const harness::ScratchDir scratch("fx-record");
    const Outcome run = record(scratch.path, row.args);
    EXPECT_EQ(run.exitCode, row.exitCode) << run.said.toStdString();
    EXPECT_TRUE(run.said.contains(row.says)) << run.said.toStdString();
    EXPECT_FALSE(fs::exists(scratch.path / "ran"));
  }
}

}  // namespace
