// `ferrolux serve` over the real helper: the built program started on the simulated machine, and
// the fixture that runs it against a helper whose sampler gives every sample the same power.
#pragma once

#include <gtest/gtest.h>

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QRegularExpression>

#include <filesystem>
#include <memory>

#include "integration/helper/HelperHarness.h"
#include "unit/core/QtApp.h"

namespace serve_test {

namespace fs = std::filesystem;

// The built program on the simulated machine, using the helper at `dir`/h.sock and keeping
// its settings and files in `dir`; a window is drawn offscreen.
inline void startFerrolux(QProcess& p, const fs::path& dir, const QStringList& args) {
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("FERROLUX_HELPER_ENDPOINT", QString::fromStdString((dir / "h.sock").string()));
  env.insert("FERROLUX_DEFAULTS_FILE", QString::fromStdString((dir / "defaults.ini").string()));
  env.insert("HOME", QString::fromStdString(dir.string()));
  env.insert("XDG_STATE_HOME", QString::fromStdString((dir / "state").string()));
  env.insert("QT_QPA_PLATFORM", "offscreen");
  p.setProcessEnvironment(env);
  // The global option before the command word; `record`'s tests give it after.
  p.start(QStringLiteral(FERROLUX_BUILD_DIR "/app/ferrolux"),
          QStringList{"--platform", "sim:macbookpro-m2pro"} + args);
}

inline void startServe(QProcess& serve, const fs::path& dir, const QStringList& args) {
  startFerrolux(serve, dir, QStringList{"serve"} + args);
}

// The real helper running the real sampler on the simulated machine, with a fixed seed and the
// host's load taken from a fixture, so every sample has the same power; and `ferrolux serve`
// using it.
class ServeWithHelper : public ::testing::Test, protected harness::SimHelper {
 protected:
  ServeWithHelper() : SimHelper("fx-serve") {}
  void SetUp() override {
    fxtest::coreApp();
    ASSERT_FALSE(scratch.path.empty());
    startHelper();
    ASSERT_TRUE(helper->ready()) << helper->log();

    startServe(serve, scratch.path, {"--listen", "127.0.0.1:0"});
    const QRegularExpression at("metrics at http://127\\.0\\.0\\.1:(\\d+)/metrics");
    fxtest::pumpUntil(
        [&] {
          said += serve.readAllStandardError();
          servePort = at.match(said).captured(1).toInt();
          return servePort != 0 || serve.state() == QProcess::NotRunning;
        },
        30000);
    ASSERT_NE(servePort, 0) << said.toStdString();
  }

  // The exporter's page, read directly.
  QString scrape() {
    QNetworkAccessManager net;
    std::unique_ptr<QNetworkReply> reply(
        net.get(QNetworkRequest(QUrl(QString("http://127.0.0.1:%1/metrics").arg(servePort)))));
    fxtest::pumpUntil([&] { return reply->isFinished(); }, 10000);
    return reply->readAll();
  }

  QProcess serve;
  QString said;
  int servePort = 0;
};

}  // namespace serve_test
