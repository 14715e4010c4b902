// `ferrolux plot` below its command line: a recording read back from the writers' own bytes,
// drawn into a PNG whose plots hold every series' colour and into a well-formed SVG; a one-row
// peak in a day of rows survives the per-column envelope; malformed files name their line.
#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QXmlStreamReader>

#include <algorithm>
#include <cmath>

#include "app/log/LogFileData.h"
#include "app/plot/PlotPage.h"
#include "app/plot/Recording.h"
#include "app/ui/Style.h"

// fontconfig keeps its caches for the life of the process once Qt has asked it for a font (as in
// tests/lsan.supp, which CTest does not hand to GoogleTest programs' discovered cases).
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libfontconfig.so\n";
}

namespace {

QApplication& app() {
  static int argc = 1;
  static char name[] = "plot_tests";
  static char* argv[] = {name, nullptr};
  // Never destroyed: widgets' application torn down among static objects at exit crashes.
  static QApplication* instance = new QApplication(argc, argv);
  return *instance;
}

// `rows` rows one second apart written by the log's own row maker; `values(i)` gives row i.
template <typename Values>
std::string csv(std::size_t rows, Values values) {
  std::vector<LogFileData> lines;
  lines.reserve(rows);
  for (std::size_t i = 0; i < rows; ++i)
    lines.push_back(LogFileData::make(1.7e9 + double(i), double(i), values(i)));
  return logfile::text(lines);
}

// Every series apart from the others, so each one shows somewhere in its card.
LogRowValues apart(std::size_t i) {
  const double w = 0.5 + 0.5 * std::sin(double(i) * 0.05);
  LogRowValues v;
  v.pkgPower = 12 + 6 * w;
  v.cpuPower = 8 + 4 * w;
  v.dramPower = 0.5 + w;
  v.gpuPower = 3 + 2 * w;
  v.eCoreFrequency = 1.0 + 0.5 * w;
  v.pCoreFrequency = 2.6 + 0.8 * w;
  v.gpuFrequency = 0.3 + 0.4 * w;
  v.cpuMinTemperature = 35 + 5 * w;
  v.cpuAvgTemperature = 50 + 5 * w;
  v.cpuMaxTemperature = 70 + 10 * w;
  v.gpuAvgTemperature = 90 + 5 * w;
  v.utilization = 0.35 + 0.1 * w;
  v.eutilization = 0.1 + 0.1 * w;
  v.putilization = 0.6 + 0.1 * w;
  v.utilizationGPU = 0.85 + 0.1 * w;
  return v;
}

struct Series {
  int card;
  NamedColor color;
};
const Series kSeries[] = {{0, NamedColor::Blue}, {0, NamedColor::Cyan},   {0, NamedColor::Orange},
                          {0, NamedColor::Pink}, {1, NamedColor::Blue},   {1, NamedColor::Cyan},
                          {1, NamedColor::Pink}, {2, NamedColor::Purple}, {2, NamedColor::Cyan},
                          {2, NamedColor::Blue}, {2, NamedColor::Pink},   {3, NamedColor::Green},
                          {3, NamedColor::Blue}, {3, NamedColor::Cyan},   {3, NamedColor::Pink}};

// Pixels of exactly `want` in `rect` (points) of a 2x picture, counted per pixel column.
std::vector<int> columnsOf(const QImage& picture, QRect rect, QColor want) {
  const QImage image = picture.convertToFormat(QImage::Format_RGB32);
  const QRect px(rect.topLeft() * 2, rect.size() * 2);
  std::vector<int> counts(std::size_t(px.width()), 0);
  for (int y = px.top(); y <= px.bottom(); ++y) {
    const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
    for (int x = px.left(); x <= px.right(); ++x)
      if (line[x] == want.rgb()) ++counts[std::size_t(x - px.left())];
  }
  return counts;
}

TEST(PlotPicture, EverySeriesShowsInThePngAndTheSvgIsWellFormed) {
  app();
  for (const bool dark : {false, true}) {
    SCOPED_TRACE(dark ? "dark" : "light");
    const plot::ReadResult read = plot::readRecording(csv(600, apart));
    ASSERT_TRUE(read.ok()) << read.error;
    plot::PlotPage page(read.recording, {"rec.csv", dark, 800, false});
    const QImage image = QImage::fromData(page.png(), "PNG");
    ASSERT_EQ(image.size(), page.size() * 2);
    const QList<QRect> plots = page.plotRects();
    ASSERT_EQ(plots.size(), 4);
    for (const Series& s : kSeries) {
      const auto counts = columnsOf(image, plots[s.card], Style::color(s.color, dark));
      EXPECT_GT(std::count_if(counts.begin(), counts.end(), [](int n) { return n > 0; }), 100)
          << "card " << s.card << " colour " << int(s.color);
    }

    const QByteArray svg = page.svg();
    QXmlStreamReader xml(svg);
    int paths = 0;
    while (!xml.atEnd())
      if (xml.readNext() == QXmlStreamReader::StartElement && xml.name() == u"path") ++paths;
    EXPECT_FALSE(xml.hasError()) << xml.errorString().toStdString();
    EXPECT_GE(paths, 15);  // a curve each
    for (const Series& s : kSeries)
      EXPECT_TRUE(svg.contains(Style::color(s.color, dark).name().toLatin1())) << int(s.color);
  }
}

TEST(PlotPicture, AOneRowPeakInADayOfRowsIsAColumnOfItsColour) {
  app();
  constexpr std::size_t kRows = 86400, kPeak = 51234;
  static constexpr std::size_t kLone[] = {20000, 30000};  // single readings between gaps
  const plot::ReadResult read = plot::readRecording(csv(kRows, [](std::size_t i) {
    LogRowValues v;
    v.pkgPower = i == kPeak ? 30 : 2;
    v.cpuPower = v.dramPower = v.gpuPower = std::nan("");
    if (std::find(std::begin(kLone), std::end(kLone), i) != std::end(kLone)) v.cpuPower = 10;
    return v;
  }));
  ASSERT_TRUE(read.ok()) << read.error;
  plot::PlotPage page(read.recording, {"day.csv", false, 800, false});
  const QImage image = QImage::fromData(page.png(), "PNG");
  const QRect plot = page.plotRects().front();
  const auto counts = columnsOf(image, plot, Style::color(NamedColor::Blue, false));
  const auto peakColumn = std::size_t(std::lround(double(kPeak) / (kRows - 1) * plot.width() * 2));
  // The baseline is a thin line; the peak rises from it through most of the plot's height.
  int tallest = 0;
  for (std::size_t x = peakColumn - 3; x <= peakColumn + 3; ++x)
    tallest = std::max(tallest, counts[x]);
  EXPECT_GT(tallest, plot.height()) << "the peak is lost";
  EXPECT_LT(counts[peakColumn / 2], 6) << "the baseline is not a thin line";
  const auto cyan = columnsOf(image, plot, Style::color(NamedColor::Cyan, false));
  for (const std::size_t row : kLone) {
    const auto column = std::size_t(std::lround(double(row) / (kRows - 1) * plot.width() * 2));
    int seen = 0;
    for (std::size_t x = column - 3; x <= column + 3; ++x)
      seen = std::max(seen, cyan[x]);
    EXPECT_GT(seen, 0) << "the reading of row " << row << " is lost";
  }
}

TEST(PlotRecording, ReadsWhatTheWritersWriteAndNamesTheLineOfWhatItCannot) {
  const std::string header = std::string(logfile::kHeader) + "\n";
  const std::string good =
      "10:00:00.000, 0.000, 1.5, 1, nan, -1, 900, 3000, 0, -1, 40, 60, -1, 20, 10, 30, nan\n";
  const std::string second =
      "10:00:01.000, 1.000, 2.5, 1, nan, -1, 900, 3000, 0, 38, 41, 62, -1, 20, 10, 30, 5\n";
  struct Row {
    const char* name;
    std::string text;
    int errorLine;      // 0: read
    const char* error;  // part of the message
    std::size_t rows;   // when read
    int partialLine;
  } rows[] = {
      {"two rows", header + good + second, 0, "", 2, 0},
      {"cut mid-line", header + good + second + "10:00:02.000, 2.0", 0, "", 2, 4},
      {"windows line ends", header + good + second, 0, "", 2, 0},
      {"empty", "", 1, "header", 0, 0},
      {"another file", "a,b,c\n" + good, 1, "header", 0, 0},
      {"header only", header, 2, "no rows", 0, 0},
      {"short row", header + good + "10:00:01.000, 1.000, 2.5\n", 3, "found 3", 0, 0},
      {"long row", header + good.substr(0, good.size() - 1) + ", 7\n", 2, "found more", 0, 0},
      {"decimal comma", header + "10:00:00.000, 0,5" + good.substr(19), 2, "fields", 0, 0},
      {"a word", header + good + second.substr(0, 26) + "x" + second.substr(27), 3, "field 4", 0,
       0},
      {"time goes back", header + second + good, 3, "goes back", 0, 0},
      {"blank line", header + good + "\n" + second, 3, "found 1", 0, 0},
  };
  rows[2].text = header + good.substr(0, good.size() - 1) + "\r\n" + second;
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const plot::ReadResult read = plot::readRecording(row.text);
    EXPECT_EQ(read.errorLine, row.errorLine) << read.error;
    EXPECT_NE(read.error.find(row.error), std::string::npos) << read.error;
    if (row.errorLine != 0) continue;
    EXPECT_EQ(read.recording.rows(), row.rows);
    EXPECT_EQ(read.partialLine, row.partialLine);
    // "nan" and -1 have no reading; everything else is read as written.
    const plot::Recording& r = read.recording;
    EXPECT_TRUE(std::isnan(r.values[plot::DramPower][0]));
    EXPECT_TRUE(std::isnan(r.values[plot::CpuMinC][0]));
    EXPECT_EQ(r.values[plot::CpuMinC][1], 38);
    EXPECT_EQ(r.values[plot::PkgPower][1], 2.5);
    EXPECT_EQ(r.values[plot::GpuMHz][0], 0);
    EXPECT_EQ(r.elapsed[1], 1.0);
    EXPECT_EQ(r.firstTime, "10:00:00.000");
    EXPECT_EQ(r.lastTime, "10:00:01.000");
  }
}

}  // namespace
