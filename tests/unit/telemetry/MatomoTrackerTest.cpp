// The usage request as the tracking server receives it, when none is sent, and what a request
// leaves behind in the process.
#include <gtest/gtest.h>

#include <QDir>
#include <QGuiApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTimer>

#include <stdlib.h>
#include <time.h>

#include <chrono>
#include <thread>

#include "app/core/UserDefaults.h"
#include "app/model/GeneralModel.h"
#include "app/telemetry/MatomoTracker.h"
#include "unit/core/LocalHttpServer.h"
#include "unit/core/QtApp.h"

namespace {

using telemetry::MatomoTracker;

QGuiApplication* guiApp() {
  static int argc = 1;
  static char name[] = "telemetry-tests";
  static char* argv[] = {name, nullptr};
  static QGuiApplication* app = new QGuiApplication(argc, argv);
  return app;
}

int threadCount() {
  return static_cast<int>(
      QDir(QStringLiteral("/proc/self/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot).size());
}

// The query of a request line, in order: key, raw value.
QList<QPair<QString, QString>> queryOf(const QString& requestLine) {
  QList<QPair<QString, QString>> items;
  const QString target = requestLine.section(QLatin1Char(' '), 1, 1);
  for (const QString& item : target.section(QLatin1Char('?'), 1).split(QLatin1Char('&')))
    items.append({item.section(QLatin1Char('='), 0, 0), item.section(QLatin1Char('='), 1)});
  return items;
}

QString decoded(const QString& raw) {
  return QUrl::fromPercentEncoding(raw.toLatin1());
}

class Tracker : public ::testing::Test {
 protected:
  void SetUp() override {
    guiApp();
    qunsetenv("DO_NOT_TRACK");
    // Five and a half hours east of UTC, written the POSIX way so no zone database is needed:
    // the hour and minute of local time differ from UTC's, so the two cannot be mixed up.
    ::setenv("TZ", "IST-5:30", 1);
    ::tzset();
    server = std::make_unique<fxtest::LocalHttpServer>();
    server->answer(204, {});
    defaults = std::make_unique<UserDefaults>(dir.filePath("d.ini"));
  }

  std::unique_ptr<MatomoTracker> tracker(const QString& serverURL) {
    MatomoTracker::Sources s;
    s.now = [] { return QDateTime(QDate(2026, 3, 4), QTime(9, 5, 7), Qt::LocalTime); };
    s.hardwareModel = [] { return QStringLiteral("Mac14,10"); };
    s.osVersion = [] { return QStringLiteral("Debian GNU/Linux 12 (bookworm) & co"); };
    s.screens = [] { return MatomoTracker::Screens{2, 1512, 982, 2}; };
    BundleInfo bundle;
    bundle.name = QStringLiteral("Ferrolux");
    bundle.shortVersion = QStringLiteral("1.4");
    bundle.identifier = QStringLiteral("com.tarquell.Ferrolux");
    return std::make_unique<MatomoTracker>(serverURL, bundle, *defaults, s);
  }

  // One launch: a fresh tracker and settings object on the same file; its request line.
  QString launch() {
    defaults = std::make_unique<UserDefaults>(dir.filePath("d.ini"));
    const qsizetype before = server->requestLines.size();
    const auto t = tracker(server->url("/checkme/"));
    t->track();
    EXPECT_TRUE(fxtest::pumpUntil([&] { return server->requestLines.size() > before; }));
    return server->requestLines.value(before);
  }

  QTemporaryDir dir;
  std::unique_ptr<UserDefaults> defaults;
  std::unique_ptr<fxtest::LocalHttpServer> server;
};

TEST_F(Tracker, TheRequestCarriesEveryParameterInOrder) {
  const QString line = launch();
  EXPECT_TRUE(line.startsWith(QLatin1String("GET /checkme/piwik.php?"))) << line.toStdString();
  const auto query = queryOf(line);
  QStringList keys;
  QMap<QString, QString> raw;
  for (const auto& [key, value] : query) {
    keys.append(key);
    raw.insert(key, value);
  }
  EXPECT_EQ(keys.join(' ').toStdString(),
            "e_c e_a e_n e_v url r h m s cdt new_visit _idvc _viewts _cvar idsite rec apiv res "
            "_id _idts");
  const struct {
    const char* key;
    const char* raw;
  } rows[] = {
      {"e_c", "com.tarquell.Ferrolux"},
      {"e_a", "SW%20Version"},
      {"e_n", "1.4"},
      {"e_v", "1"},
      {"url", "http:%2F%2FFerrolux"},  // display name falls back to the name
      {"h", "9"},
      {"m", "5"},
      {"s", "7"},
      {"new_visit", "1"},
      {"_idvc", "1"},
      {"_viewts", "0"},
      {"idsite", "2"},
      {"rec", "1"},
      {"apiv", "1"},
      {"res", "3024x1964"},
      {"_idts", "0"},
  };
  for (const auto& row : rows)
    EXPECT_EQ(raw.value(row.key).toStdString(), row.raw) << row.key;

  const int r = raw.value("r").toInt();
  EXPECT_TRUE(r >= 0 && r <= 50000 && QString::number(r) == raw.value("r"));
  EXPECT_EQ(decoded(raw.value("cdt")), "2026-03-04 03:35:07");  // 09:05:07 local
  EXPECT_TRUE(raw.value("cdt").contains("%20"));

  // Space, parentheses and ampersand of a value are each percent-encoded.
  EXPECT_TRUE(raw.value("_cvar").contains("bookworm%29%20%26%20co"))
      << raw.value("_cvar").toStdString();
  EXPECT_TRUE(raw.value("_cvar").contains("%28bookworm"));
  const QJsonObject cvar = QJsonDocument::fromJson(decoded(raw.value("_cvar")).toUtf8()).object();
  const QJsonObject expected{
      {"1", QJsonArray{"Platform", "Mac14,10"}},
      {"2", QJsonArray{"OS version", "Debian GNU/Linux 12 (bookworm) & co"}},
      {"3", QJsonArray{"App version", "0"}},  // no build version: "0"
      {"4", QJsonArray{"Monitors", "2"}},
      {"5", QJsonArray{"App version", "Ferrolux"}},
  };
  EXPECT_EQ(cvar, expected);

  EXPECT_TRUE(QRegularExpression("^[0-9a-f]{16}$").match(raw.value("_id")).hasMatch());
  EXPECT_EQ(defaults->reference().value_or(QString()), raw.value("_id"));
}

TEST_F(Tracker, TheVisitorReferenceLastsAcrossLaunchesAndReplacesAnEmptyOne) {
  const QString first = queryOf(launch()).value(18).second;
  const QString second = queryOf(launch()).value(18).second;
  EXPECT_EQ(first.size(), 16);
  EXPECT_EQ(second, first);
  defaults->setValue(QLatin1String(defaults::kReference), QString());
  const QString third = queryOf(launch()).value(18).second;
  EXPECT_EQ(third.size(), 16);
  EXPECT_NE(third, first);
  EXPECT_EQ(UserDefaults(dir.filePath("d.ini")).reference().value_or(QString()), third);
}

TEST_F(Tracker, NothingIsSentWithoutAnEndpointOrWhenTrackingIsRefused) {
  const struct {
    const char* name;
    QString endpoint;
    const char* doNotTrack;
  } rows[] = {
      {"no endpoint", QString(), nullptr},
      {"DO_NOT_TRACK=1", server->url("/checkme/"), "1"},
      {"plain HTTP to another host", QStringLiteral("http://192.0.2.1/checkme/"), nullptr},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    if (row.doNotTrack) qputenv("DO_NOT_TRACK", row.doNotTrack);
    auto t = tracker(row.endpoint);
    t->track();
    qunsetenv("DO_NOT_TRACK");
    EXPECT_EQ(t->requestsSent(), 0);
    EXPECT_FALSE(defaults->contains(QLatin1String(defaults::kReference)));
  }
  // A request sent after them is the first the server sees.
  launch();
  EXPECT_EQ(server->connections, 1);
}

TEST_F(Tracker, TheRootModelSendsOneRequestWhenBuilt) {
  auto machine =
      std::move(platform::create("sim:" FERROLUX_SOURCE_DIR "/data/profiles/macbookpro-intel.plist")
                    .platform);
  ASSERT_TRUE(machine);
  auto t = tracker(server->url("/checkme/"));
  GeneralModel::Environment env;
  env.platform = machine.get();
  env.defaults = defaults.get();
  env.tracker = t.get();
  GeneralModel model(std::move(env));
  EXPECT_TRUE(fxtest::pumpUntil([&] { return server->requestLines.size() == 1; }));
  EXPECT_EQ(t->requestsSent(), 1);
}

// The answer is of no interest, so a server that sends more than the 64 KiB cap is hung up on as
// soon as the excess arrives, not read on until the time-out.
TEST_F(Tracker, AnAnswerOverTheCapEndsTheRequestAtOnce) {
  server->answer(200, QByteArray(64 * 1024 + 1, 'x'));
  server->mode = fxtest::LocalHttpServer::Mode::Trickle;
  auto t = tracker(server->url("/checkme/"));
  t->track();
  EXPECT_TRUE(fxtest::pumpUntil([&] { return server->disconnections == 1; },
                                MatomoTracker::kTimeoutMs / 2));
}

// Kept last: it runs and leaves the application's event loop.
TEST_F(Tracker, ARequestLeavesNoThreadBehindAndQuittingDropsOneInFlight) {
  const int baseline = threadCount();
  {
    auto t = tracker(server->url("/checkme/"));
    t->track();
    ASSERT_TRUE(fxtest::pumpUntil([&] { return server->disconnections == 1; }));
    // The request object goes in the next turn of the loop, and its thread with it.
    EXPECT_TRUE(fxtest::pumpUntil([&] { return threadCount() <= baseline; }));
  }
  server->mode = fxtest::LocalHttpServer::Mode::Silent;
  auto t = tracker(server->url("/checkme/"));
  t->track();
  ASSERT_TRUE(fxtest::pumpUntil([&] { return server->requestLines.size() == 2; }));
  EXPECT_GT(threadCount(), baseline);
  QTimer::singleShot(0, qApp, &QCoreApplication::quit);
  QCoreApplication::exec();
  // Straight after the loop ends, with no further event: the thread is gone. A joined thread
  // can linger in /proc for a moment while the kernel releases it, so the count may take a few
  // milliseconds, but no event, to come down.
  const auto joinedBy = std::chrono::steady_clock::now() + std::chrono::milliseconds(200);
  while (threadCount() > baseline && std::chrono::steady_clock::now() < joinedBy)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  EXPECT_LE(threadCount(), baseline);
  EXPECT_TRUE(fxtest::pumpUntil([&] { return server->disconnections == 2; }));
}

}  // namespace
