// One helper serving every kind of client at once: the exporter, a recording, snapshots and a
// window of the test's own, each getting only its own samples and leaving the rest served.
#include <gtest/gtest.h>

#include <QProcess>
#include <QRegularExpression>

#include <charconv>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <functional>

#include "integration/export/ServeFixture.h"

namespace serve_test {
namespace {

using namespace std::chrono_literals;

// The other clients sample at the default 500 ms. A sampler's window never ends early, but on a
// loaded machine it may end late, so only a sample shorter than this can be another's.
constexpr int kWindowSampleMs = 800;

// The value of a counter or gauge without labels on a scraped page; -1 when it is not there.
double metric(const QString& page, const QString& name) {
  const auto m = QRegularExpression("\n" + name + " (\\S+)\n").match(page);
  return m.hasMatch() ? m.captured(1).toDouble() : -1;
}

// One helper serves several clients at once for T seconds (FERROLUX_CLIENTS_SECONDS, 60 unless
// set; every event keeps its share of T): this exporter scraped every second, a recording
// started and stopped, two snapshots, and a client of the test's own standing in for the window:
// it asks once a second for samples longer than anybody else asks for, and quits as the window
// does (closeHelper). Each gets only its own samples; every client that leaves (the recording
// and the exporter by SIGTERM, the window by its quit) leaves the helper serving the rest.
TEST_F(ServeWithHelper, SharesOneHelperWithEveryOtherClient) {
  const char* setting = std::getenv("FERROLUX_CLIENTS_SECONDS");
  const int total = setting && std::atoi(setting) >= 15 ? std::atoi(setting) : 60;
  const fs::path& dir = scratch.path;
  const fs::path csv = dir / "record.csv";
  QProcess recorder, snapshots[2];
  const auto begin = std::chrono::steady_clock::now();
  auto elapsed = [&] {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
  };
  harness::Inbox window;
  int asked = 0;
  auto standIn = xpc::Connection::connect(helper->socket, window.handlers());
  bool windowOpen = true;
  std::vector<std::optional<plist::Bytes>> got;
  auto collect = [&] {
    while (auto r = window.nextResult(0ms))
      got.push_back(std::move(*r));
    return got.size() >= static_cast<size_t>(asked);
  };
  // The window quits once its last result is in: one still running when it leaves is dropped.
  auto quitWindow = [&] {
    windowOpen = false;
    fxtest::pumpUntil(collect, 20000);
    standIn->closeHelper();
  };
  auto snapshot = [&](int i) {
    startFerrolux(
        snapshots[i], dir,
        {"--snapshot", QString::fromStdString((dir / "s.png").string()), "--samples", "2"});
  };
  // SIGTERM once the recording has run for 0.3 T, however slowly it started, so the
  // signal meets its quit path and there are rows to look at.
  QString recorderSaid;
  auto stopRecorder = [&] {
    fxtest::pumpUntil(
        [&] { return (recorderSaid += recorder.readAllStandardError()).contains("recording"); },
        60000);
    const double from = elapsed();
    fxtest::pumpUntil([&] { return elapsed() >= from + 0.3 * total; }, 60000);
    ::kill(static_cast<pid_t>(recorder.processId()), SIGTERM);
  };
  struct Step {
    double share;
    std::function<void()> run;
  } steps[] = {
      {0.10,
       [&] {
         startFerrolux(recorder, dir, {"record", "--output", csv.c_str()});
       }},
      {0.25, [&] { snapshot(0); }},
      {0.50, stopRecorder},
      {0.60, [&] { snapshot(1); }},
      {0.75, quitWindow},
  };
  std::vector<std::pair<double, double>> served;  // (second, ferrolux_samples_total)
  size_t next = 0;
  for (int second = 0; second < total; ++second) {
    fxtest::pumpUntil([&] { return elapsed() >= second; }, 5000);
    for (; next < std::size(steps) && second >= steps[next].share * total; ++next)
      steps[next].run();
    if (windowOpen) asked += standIn->requestPowermetrics(kWindowSampleMs, false) ? 1 : 0;
    const double samples = metric(scrape(), "ferrolux_samples_total");
    if (samples > 0) served.emplace_back(elapsed(), samples);
  }
  EXPECT_EQ(window.ending(), "interrupted");
  ::kill(static_cast<pid_t>(serve.processId()), SIGTERM);
  ASSERT_TRUE(serve.waitForFinished(30000));
  EXPECT_EQ(serve.exitCode(), 0);
  for (QProcess* p : {&recorder, &snapshots[0], &snapshots[1]}) {
    ASSERT_TRUE(p->state() == QProcess::NotRunning || p->waitForFinished(60000));
    EXPECT_EQ(p->exitStatus(), QProcess::NormalExit) << recorderSaid.toStdString();
  }
  for (QProcess* p : {&snapshots[0], &snapshots[1]})
    EXPECT_EQ(p->exitCode(), 0) << p->readAllStandardError().toStdString();

  // Every client has left, and the helper still serves a new one.
  EXPECT_FALSE(helper->endStatus()) << helper->log();
  EXPECT_TRUE(helper->ready()) << helper->log();
  // The window got one result per request, each of its own length.
  collect();
  EXPECT_EQ(got.size(), static_cast<size_t>(asked)) << helper->log();
  for (const auto& result : got) {
    ASSERT_TRUE(result) << helper->log();
    const auto doc = plist::parse(*result);
    if (doc.ok()) {  // a run cut off by its time limit on a loaded machine is empty
      EXPECT_GE((*doc.value)["elapsed_ns"].number().value_or(0), kWindowSampleMs * 1e6)
          << "another's sample";
    }
  }

  // The exporter: in any 20 s (scaled), at least 17 samples and no more than its own one a
  // second. Over shorter spans a loaded helper's late answers may arrive in a burst.
  const double span = total / 3.0;
  ASSERT_FALSE(served.empty());
  for (size_t i = 0; i < served.size(); ++i)
    for (size_t j = i + 1; j < served.size(); ++j) {
      const double seconds = served[j].first - served[i].first;
      const double counted = served[j].second - served[i].second;
      if (seconds >= span) {
        EXPECT_GE(counted, std::floor(0.85 * span)) << "from " << served[i].first << " s";
        EXPECT_LE(counted, seconds + 5) << "from " << served[i].first << " s";
        break;
      }
    }
  // The recording: its own rows only, one a sampling tick. Rows are stamped when their sample
  // arrives, so a late answer and the next one may land together; another client's samples
  // would show as more rows than seconds.
  std::ifstream rows(csv);
  std::string line;
  std::getline(rows, line);
  std::vector<double> rowTimes;
  while (std::getline(rows, line)) {
    const std::string field =
        line.substr(line.find(", ") + 2, line.find(',', line.find(", ") + 2) - line.find(", ") - 2);
    double value = 0;
    std::from_chars(field.data(), field.data() + field.size(), value);
    rowTimes.push_back(value);
  }
  recorderSaid += recorder.readAllStandardError();
  EXPECT_GE(rowTimes.size(), 2u) << recorderSaid.toStdString();
  if (rowTimes.size() >= 2) {
    EXPECT_LE(rowTimes.size(), rowTimes.back() - rowTimes.front() + 3)
        << "rows over " << rowTimes.back() - rowTimes.front() << " s";
  }
}

}  // namespace
}  // namespace serve_test
