// `ferrolux plot` as users run it, on files the way they arrive: cut off by a crash, malformed,
// missing. The picture itself is checked in the ui tests; here, the exit statuses and messages.
#include <gtest/gtest.h>

#include <QImage>
#include <QProcess>

#include <filesystem>
#include <fstream>

#include "integration/helper/HelperHarness.h"
#include "unit/core/QtApp.h"

namespace {

namespace fs = std::filesystem;

TEST(PlotProgram, ExitStatusNamesWhatIsWrongWithTheFile) {
  fxtest::coreApp();
  const harness::ScratchDir scratch("fx-plot");
  const std::string header =
      "System Time, Elapsed Time (sec), Package Power (Watt), CPU Power (Watt), DRAM Power "
      "(Watt), GPU Power (Watt), E-Core Frequency (Mhz), P-Core Frequency (Mhz), GPU Frequency "
      "(Mhz), CPU MIN Temperature (C), CPU AVG Temperature (C), CPU MAX Temperature (C), GPU AVG "
      "Temperature (C), CPU Utilization (%), E-Core Utilization (%), P-Core Utilization (%), GPU "
      "Utilization (%)\n";
  const std::string row =
      "10:00:00.000, 0.000, 1.5, 1, nan, 0.2, 900, 3000, 0, -1, 40, 60, -1, 20, 10, 30, nan\n";
  struct Row {
    const char* name;
    std::string text;  // none: no file
    int exitCode;
    const char* says;
    bool picture;
  } rows[] = {
      {"whole", header + row + row, 0, "2 rows, written to", true},
      {"cut mid-line", header + row + row + "10:00:0", 0, "in.csv:4: the last line is cut off",
       true},
      {"malformed", header + row + "10:00:01.000, 1.0, 2\n" + row, 65, "in.csv:3: expected 17",
       false},
      {"missing", "", 66, "cannot read", false},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    const fs::path csv = scratch.path / r.name / "in.csv";
    fs::create_directories(csv.parent_path());
    if (!r.text.empty()) std::ofstream(csv) << r.text;
    QProcess p;
    p.start(QStringLiteral(FERROLUX_BUILD_DIR "/app/ferrolux"),
            {"plot", QString::fromStdString(csv.string())});
    ASSERT_TRUE(p.waitForFinished(120000));
    const QString said = p.readAllStandardError();
    EXPECT_EQ(p.exitCode(), r.exitCode) << said.toStdString();
    EXPECT_TRUE(said.contains(r.says)) << said.toStdString();
    const QImage picture(QString::fromStdString((csv.parent_path() / "in.png").string()));
    EXPECT_EQ(!picture.isNull(), r.picture);
    if (r.picture) {
      EXPECT_EQ(picture.width(), 1600);
    }
  }
}

}  // namespace
