// The log recorder end to end: the application without a window samples through the real helper
// and sampler on a simulated machine, on a private D-Bus session whose notification service is
// this test. Each test reads what reached the disk and the notification service.
#include <gtest/gtest.h>

#include <QDBusConnection>
#include <QProcess>
#include <QProcessEnvironment>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <string>
#include <vector>

#include "integration/helper/HelperHarness.h"
#include "integration/log/NotificationServer.h"
#include "unit/core/FullFilesystem.h"
#include "unit/core/Numbers.h"
#include "unit/core/QtApp.h"

namespace {

namespace fs = std::filesystem;

const std::string kProfile = FERROLUX_SOURCE_DIR "/data/profiles/macbookpro-m2pro.plist";
const std::string kHeader = "System Time, Elapsed Time (sec), Package Power (Watt)";
constexpr int kPatienceMs = 60000;

std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> out;
  size_t start = 0;
  for (size_t nl; (nl = text.find('\n', start)) != std::string::npos; start = nl + 1)
    out.push_back(text.substr(start, nl - start));
  return out;
}

// Every line after the header has seventeen fields, the elapsed times start at 0.000 and grow.
void expectWellFormedRows(const std::vector<std::string>& file) {
  ASSERT_FALSE(file.empty());
  EXPECT_EQ(file[0].rfind(kHeader, 0), 0u);
  double last = -1;
  for (size_t i = 1; i < file.size(); ++i) {
    EXPECT_EQ(std::count(file[i].begin(), file[i].end(), ','), 16) << file[i];
    const double elapsed = fxtest::number(file[i].substr(file[i].find(", ") + 2));
    if (i == 1) {
      EXPECT_EQ(elapsed, 0);
    }
    EXPECT_GT(elapsed, last);
    last = elapsed;
  }
}

class LogRecorderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fxtest::coreApp();
    ASSERT_FALSE(scratch.path.empty());
    home = scratch.path / "home";
    logs = scratch.path / "logs";
    state = scratch.path / "state/ferrolux/recording";
    fs::create_directories(home / "Desktop");
    fs::create_directories(logs);
    startBus();
    harness::writeSimSampler(scratch.path / "tools/powermetrics", "");
    startHelper();
    setFolder(logs.string());
  }
  // A quitting application tells the helper to close, so each run gets a fresh one.
  void startHelper() {
    helper.reset();
    helper = std::make_unique<harness::HelperProcess>(
        scratch.path,
        std::vector<std::string>{"--tools-dir", (scratch.path / "tools").string(), "--nice-path",
                                 FERROLUX_FIXTURES_DIR "/helper/nice"});
    ASSERT_TRUE(helper->ready()) << helper->log();
  }
  void TearDown() override {
    if (bus) QDBusConnection::disconnectFromBus(QStringLiteral("fx-log-test"));
    if (daemon.state() != QProcess::NotRunning) {
      daemon.kill();
      daemon.waitForFinished();
    }
  }

  // A bus of our own, with nothing to start on demand, and this test as its notification
  // service.
  void startBus() {
    harness::writeFile(scratch.path / "bus.conf",
                       "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-BUS Bus Configuration "
                       "1.0//EN\" \"http://www.freedesktop.org/standards/dbus/1.0/"
                       "busconfig.dtd\">\n<busconfig><type>session</type><listen>unix:dir=" +
                           scratch.path.string() +
                           "</listen><policy context=\"default\"><allow send_destination=\"*\"/>"
                           "<allow receive_sender=\"*\"/><allow own=\"*\"/></policy>"
                           "</busconfig>\n");
    daemon.start(QStringLiteral("dbus-daemon"),
                 {QStringLiteral("--config-file=") +
                      QString::fromStdString((scratch.path / "bus.conf").string()),
                  QStringLiteral("--nofork"), QStringLiteral("--print-address=1")});
    ASSERT_TRUE(daemon.waitForStarted());
    ASSERT_TRUE(fxtest::pumpUntil([&] { return daemon.canReadLine(); }, kPatienceMs));
    address = QString::fromUtf8(daemon.readLine()).trimmed();
    QDBusConnection connection =
        QDBusConnection::connectToBus(address, QStringLiteral("fx-log-test"));
    ASSERT_TRUE(connection.isConnected()) << address.toStdString();
    bus = true;
    ASSERT_TRUE(server.registerOn(connection));
  }

  void setFolder(const std::string& folder) {
    harness::writeFile(scratch.path / "d.ini",
                       "[General]\nsamplingResolution=100\npathFolderLocation=" + folder + "\n");
  }

  // The driver, logging from launch; `stopAfter` 0 records until a signal.
  void startApp(QProcess& app, int stopAfter) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("DBUS_SESSION_BUS_ADDRESS", address);
    env.insert("HOME", QString::fromStdString(home.string()));
    env.insert("XDG_CONFIG_HOME", QString::fromStdString((scratch.path / "config").string()));
    env.insert("XDG_STATE_HOME", QString::fromStdString((scratch.path / "state").string()));
    env.insert("FERROLUX_DEFAULTS_FILE", QString::fromStdString((scratch.path / "d.ini").string()));
    env.insert("FERROLUX_PLATFORM", QString::fromStdString("sim:" + kProfile));
    env.insert("FERROLUX_HELPER_ENDPOINT", QString::fromStdString(helper->socket));
    env.insert("FERROLUX_HELPER_COPY", QString::fromStdString(harness::HelperProcess::kExecutable));
    app.setProcessEnvironment(env);
    app.setProcessChannelMode(QProcess::SeparateChannels);
    QStringList args;
    if (stopAfter) args << QStringLiteral("--stop-after") << QString::number(stopAfter);
    app.start(QStringLiteral(LOG_DRIVER), args);
    ASSERT_TRUE(app.waitForStarted());
  }
  // Pumps this test's bus while waiting for the driver's "rows N" to reach `rows`.
  bool waitForRows(QProcess& app, size_t rows, std::string& seen) {
    return fxtest::pumpUntil(
        [&] {
          readRows(app, seen);
          return seen.starts_with("rows ") && std::stoul(seen.substr(5)) >= rows;
        },
        kPatienceMs);
  }
  // The driver's latest "rows N" line; its other output (the helper link's debugging lines)
  // is passed over.
  static void readRows(QProcess& app, std::string& seen) {
    while (app.canReadLine()) {
      const std::string line = app.readLine().trimmed().toStdString();
      if (line.starts_with("rows ")) seen = line;
    }
  }
  bool waitForExit(QProcess& app) {
    return fxtest::pumpUntil([&] { return app.state() == QProcess::NotRunning; }, kPatienceMs);
  }
  std::string diagnostics(QProcess& app) {
    return app.readAllStandardError().toStdString() + "\nhelper:\n" + helper->log();
  }
  std::vector<fs::path> csvIn(const fs::path& dir) {
    std::vector<fs::path> out;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(dir, ec))
      if (e.path().extension() == ".csv") out.push_back(e.path());
    return out;
  }
  std::vector<QString> titles() const {
    std::vector<QString> out;
    for (const auto& [title, text] : server.received)
      out.push_back(title);
    return out;
  }

  harness::ScratchDir scratch{"fx-logit"};
  fs::path home, logs, state;
  QProcess daemon;
  QString address;
  bool bus = false;
  NotificationServer server;
  std::unique_ptr<harness::HelperProcess> helper;
};

TEST_F(LogRecorderTest, ThreeSamplesThenStopWriteTheFileAndTellWhere) {
  QProcess app;
  startApp(app, 3);
  ASSERT_TRUE(waitForExit(app)) << diagnostics(app);
  EXPECT_EQ(app.exitCode(), 0) << diagnostics(app);
  const auto files = csvIn(logs);
  ASSERT_EQ(files.size(), 1u) << diagnostics(app);
  EXPECT_TRUE(files[0].filename().string().starts_with("PwrData "));
  const auto file = lines(harness::readFile(files[0]));
  EXPECT_EQ(file.size(), 4u);
  expectWellFormedRows(file);
  // The simulated machine draws power: the package column (the third) holds watts.
  for (size_t i = 1; i < file.size(); ++i) {
    const size_t third = file[i].find(", ", file[i].find(", ") + 2) + 2;
    EXPECT_GT(fxtest::number(file[i].substr(third)), 0) << file[i];
  }

  ASSERT_TRUE(fxtest::pumpUntil([&] { return server.received.size() >= 2; }, kPatienceMs));
  ASSERT_EQ(server.received.size(), 2u);
  EXPECT_EQ(server.received[0].first, "Logging started");
  EXPECT_EQ(server.received[0].second, "The log file will be written when logging is stopped.");
  EXPECT_EQ(server.received[1].first, "Logging ended");
  EXPECT_EQ(server.received[1].second, QString::fromStdString("Saved at: " + files[0].string()));
  EXPECT_TRUE(csvIn(state).empty());
}

TEST_F(LogRecorderTest, TerminationWritesEveryRecordedRow) {
  QProcess app;
  startApp(app, 0);
  std::string seen;
  ASSERT_TRUE(waitForRows(app, 2, seen)) << diagnostics(app);
  ::kill(static_cast<pid_t>(app.processId()), SIGTERM);
  ASSERT_TRUE(waitForExit(app)) << diagnostics(app);
  EXPECT_EQ(app.exitStatus(), QProcess::NormalExit);
  readRows(app, seen);
  const auto files = csvIn(logs);
  ASSERT_EQ(files.size(), 1u) << diagnostics(app);
  const auto file = lines(harness::readFile(files[0]));
  expectWellFormedRows(file);
  // Every row the application reported, and at most the one of a reply that came in between.
  const size_t reported = std::stoul(seen.substr(5));
  EXPECT_GE(file.size() - 1, reported);
  EXPECT_LE(file.size() - 1, reported + 1);
  EXPECT_EQ(titles().back(), "Logging ended");
  EXPECT_TRUE(csvIn(state).empty());
}

TEST_F(LogRecorderTest, AKilledRecordingIsRecoveredAtTheNextStart) {
  QProcess app;
  startApp(app, 0);
  // The safety copy is flushed at the latest ten seconds in; wait for its first rows.
  std::string seen;
  ASSERT_TRUE(fxtest::pumpUntil(
      [&] {
        readRows(app, seen);
        const auto copies = csvIn(state);
        return copies.size() == 1 && lines(harness::readFile(copies[0])).size() > 1;
      },
      kPatienceMs))
      << diagnostics(app);
  ::kill(static_cast<pid_t>(app.processId()), SIGKILL);
  ASSERT_TRUE(waitForExit(app));
  readRows(app, seen);
  const size_t recorded = std::stoul(seen.substr(5));
  EXPECT_TRUE(csvIn(logs).empty());

  QProcess again;
  startApp(again, 1);
  ASSERT_TRUE(waitForExit(again)) << diagnostics(again);
  std::vector<fs::path> recovered;
  for (const fs::path& p : csvIn(logs))
    if (p.filename().string().ends_with(" (recovered).csv")) recovered.push_back(p);
  ASSERT_EQ(recovered.size(), 1u);
  const auto file = lines(harness::readFile(recovered[0]));
  expectWellFormedRows(file);
  // All rows but those of the last ten seconds (one sample a second at most), plus the one
  // that may have landed after the last report.
  EXPECT_LE(file.size() - 1, recorded + 1);
  EXPECT_GE(file.size() - 1 + 11, recorded);
  ASSERT_TRUE(fxtest::pumpUntil([&] { return server.received.size() >= 4; }, kPatienceMs));
  const auto t = titles();
  EXPECT_NE(std::find(t.begin(), t.end(), "Logging recovered"), t.end());
  const auto it = std::find_if(server.received.begin(), server.received.end(),
                               [](const auto& n) { return n.first == "Logging recovered"; });
  ASSERT_NE(it, server.received.end());
  EXPECT_EQ(it->second, QString::fromStdString("Saved at: " + recovered[0].string()));
  EXPECT_TRUE(csvIn(state).empty());
}

// The notification says why the folder failed and where the rows went instead.
TEST_F(LogRecorderTest, AnUnusableFolderFallsBackAndSaysWhereTheFileWent) {
  const fxtest::FullFilesystem full(scratch.path / "full");
  struct Case {
    const char* name;
    std::string folder;
    bool desktop;
    fs::path expectedDir;
    std::string why;
  };
  const Case cases[] = {
      {"folder full", full.path.string(), true, home / "Desktop",
       fxtest::FullFilesystem::noSpaceText()},
      {"folder gone", (scratch.path / "gone").string(), true, home / "Desktop", "no such folder"},
      {"folder is a file, no desktop", (scratch.path / "d.ini").string(), false, home,
       "not a folder"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.folder.empty()) continue;  // no full disk without root
    server.received.clear();
    if (!c.desktop) fs::remove_all(home / "Desktop");
    setFolder(c.folder);
    startHelper();
    QProcess app;
    startApp(app, 2);
    ASSERT_TRUE(waitForExit(app)) << diagnostics(app);
    const auto files = csvIn(c.expectedDir);
    ASSERT_EQ(files.size(), 1u) << diagnostics(app);
    EXPECT_EQ(lines(harness::readFile(files[0])).size(), 3u);
    ASSERT_TRUE(fxtest::pumpUntil([&] { return server.received.size() >= 2; }, kPatienceMs));
    EXPECT_EQ(server.received[1].first, "Logging failed");
    const std::string text = server.received[1].second.toStdString();
    EXPECT_NE(text.find(c.folder + ": " + c.why), std::string::npos) << text;
    EXPECT_TRUE(text.ends_with(" Saved at: " + files[0].string())) << text;
    EXPECT_TRUE(csvIn(state).empty());
    fs::remove(files[0]);
  }
  if (full.path.empty()) GTEST_SKIP() << "the full-disk row did not run: " << full.skipReason;
}

}  // namespace
