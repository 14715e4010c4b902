// `ferrolux serve` as users run it: the built program against the real helper and the real
// sampler on a simulated machine, scraped by a real Prometheus server; and what it says when it
// cannot serve.
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

#include <gtest/gtest.h>

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QRegularExpression>
#include <QUrlQuery>

#include <charconv>
#include <cmath>
#include <csignal>
#include <fstream>
#include <functional>
#include <optional>

#include "integration/helper/HelperHarness.h"
#include "unit/core/QtApp.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

const char* const kPrometheus = "/usr/bin/prometheus";

// A TCP socket listening on a free loopback port.
xpc::UniqueFd takePort(int* port) {
  xpc::UniqueFd fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof(a);
  if (::bind(fd.get(), reinterpret_cast<sockaddr*>(&a), length) != 0 || ::listen(fd.get(), 4) != 0)
    return {};
  ::getsockname(fd.get(), reinterpret_cast<sockaddr*>(&a), &length);
  *port = ntohs(a.sin_port);
  return fd;
}

// The built program on the simulated machine, using the helper at `dir`/h.sock and keeping
// its settings and files in `dir`; a window is drawn offscreen.
void startFerrolux(QProcess& p, const fs::path& dir, const QStringList& args) {
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

void startServe(QProcess& serve, const fs::path& dir, const QStringList& args) {
  startFerrolux(serve, dir, QStringList{"serve"} + args);
}

TEST(ServeProgram, SaysWhyItCannotServe) {
  enum Helper { None, Refusing };
  struct Row {
    const char* name;
    QStringList args;  // %1: a port that is taken
    Helper helper;
    int exitCode;
    const char* says;
  } rows[] = {
      {"address does not parse", {"--listen", "localhost:9000"}, None, 64, "numeric IPv4"},
      {"IPv6, which the web server lacks",
       {"--listen", "[::1]:0"},
       None,
       64,
       "IPv6 addresses are not supported"},
      {"port taken", {"--listen", "127.0.0.1:%1"}, None, 71, "is already in use"},
      {"helper not installed", {"--listen", "127.0.0.1:0"}, None, 69, "not installed"},
      {"helper refuses", {"--listen", "127.0.0.1:0"}, Refusing, 77, "refused this program"},
  };
  for (Row& row : rows) {
    SCOPED_TRACE(row.name);
    const fxtest::ScratchDir scratch("fx-serve");
    int port = 0;
    const xpc::UniqueFd taken = takePort(&port);
    for (QString& a : row.args)
      a = a.arg(port);
    // A refusal is a connection closed before any hello.
    xpc::UniqueFd listener;
    if (row.helper == Refusing) listener = xpc::listenUnix((scratch.path / "h.sock").string());
    QProcess serve;
    startServe(serve, scratch.path, row.args);
    if (row.helper == Refusing) {
      pollfd p{listener.get(), POLLIN, 0};
      ASSERT_EQ(::poll(&p, 1, 30000), 1);
      xpc::UniqueFd(::accept(listener.get(), nullptr, nullptr));
    }
    ASSERT_TRUE(serve.waitForFinished(60000));
    const QString said = serve.readAllStandardError();
    EXPECT_EQ(serve.exitCode(), row.exitCode) << said.toStdString();
    EXPECT_TRUE(said.contains(row.says)) << said.toStdString();
    // Nobody is told of an address that serves nothing.
    EXPECT_FALSE(said.contains("metrics at")) << said.toStdString();
    EXPECT_TRUE(serve.readAllStandardOutput().isEmpty());
  }
}

// The first value of an instant query, or nothing while Prometheus has none (or is not up).
std::optional<double> query(int port, const QString& promql) {
  QNetworkAccessManager net;
  QUrl url(QString("http://127.0.0.1:%1/api/v1/query").arg(port));
  QUrlQuery q;
  q.addQueryItem("query", promql);
  url.setQuery(q);
  std::unique_ptr<QNetworkReply> reply(net.get(QNetworkRequest(url)));
  fxtest::pumpUntil([&] { return reply->isFinished(); }, 10000);
  const QJsonArray result =
      QJsonDocument::fromJson(reply->readAll()).object()["data"].toObject()["result"].toArray();
  if (result.isEmpty()) return std::nullopt;
  return result[0].toObject()["value"].toArray()[1].toString().toDouble();
}

// The real helper running the real sampler on the simulated machine, with a fixed seed and the
// host's load taken from a fixture, so every sample has the same power; and `ferrolux serve`
// using it.
class ServeWithHelper : public ::testing::Test {
 protected:
  void SetUp() override {
    fxtest::coreApp();
    ASSERT_FALSE(scratch.path.empty());
    harness::writeSimSampler(tools / "powermetrics", POWERMETRICS_PROGRAM,
                             harness::kSimProfileM2Pro);
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

  // A later helper on the same socket appends to the same log.
  void startHelper() { helper = harness::startSimHelper(scratch.path, tools); }

  // The exporter's page, read directly.
  QString scrape() {
    QNetworkAccessManager net;
    std::unique_ptr<QNetworkReply> reply(
        net.get(QNetworkRequest(QUrl(QString("http://127.0.0.1:%1/metrics").arg(servePort)))));
    fxtest::pumpUntil([&] { return reply->isFinished(); }, 10000);
    return reply->readAll();
  }

  harness::ScratchDir scratch{"fx-serve"};
  fs::path tools = scratch.path / "tools";
  std::unique_ptr<harness::HelperProcess> helper;
  QProcess serve;
  QString said;
  int servePort = 0;
};

// A helper that stops sending samples (stopped, with its connection still open) or dies shows
// as down, with no stale figures, until one answers again.
TEST_F(ServeWithHelper, LostHelperIsDownUntilItAnswersAgain) {
  // Up, and a sample with figures in (the first run may still be on its way).
  auto up = [&] {
    const QString s = scrape();
    return s.contains("\nferrolux_helper_up 1\n") &&
           s.contains("ferrolux_power_watts{domain=\"package\"}");
  };
  const struct {
    const char* name;
    std::function<void()> lose, bringBack;
  } rows[] = {
      {"stopped", [&] { helper->kill(SIGSTOP); }, [&] { helper->kill(SIGCONT); }},
      {"killed", [&] { helper->kill(SIGKILL); },
       [&] {
         helper->endStatus();
         startHelper();
       }},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    ASSERT_TRUE(fxtest::pumpUntil(up, 30000)) << said.toStdString();
    const QString first = scrape();
    EXPECT_TRUE(first.contains("ferrolux_power_watts{domain=\"package\"}")) << first.toStdString();
    // The simulated macOS 13 reports no DRAM power: no gauge says 0 W for it.
    EXPECT_FALSE(first.contains("ferrolux_power_watts{domain=\"dram\"}")) << first.toStdString();
    row.lose();
    ASSERT_TRUE(
        fxtest::pumpUntil([&] { return scrape().contains("\nferrolux_helper_up 0\n"); }, 30000))
        << said.toStdString();
    const QString down = scrape();
    EXPECT_FALSE(down.contains("ferrolux_power_watts{")) << down.toStdString();
    EXPECT_TRUE(down.contains("ferrolux_energy_joules_total{")) << down.toStdString();
    // Lost for good, not just late: the session gives the connection up and looks again.
    EXPECT_TRUE(fxtest::pumpUntil(
        [&] { return (said += serve.readAllStandardError()).contains("stopped answering"); },
        30000))
        << said.toStdString();
    row.bringBack();
    ASSERT_TRUE(fxtest::pumpUntil(up, 60000)) << said.toStdString() << helper->log();
    EXPECT_EQ(serve.state(), QProcess::Running);
    said += serve.readAllStandardError();
    EXPECT_TRUE(said.contains("the helper answers again")) << said.toStdString();
    said.clear();
  }
}

TEST_F(ServeWithHelper, PrometheusSeesPowerAndEnergyAgree) {
  if (!fs::exists(kPrometheus))
    GTEST_SKIP() << kPrometheus << " is missing; scripts/install-deps installs Debian's prometheus";
  int prometheusPort = 0;
  takePort(&prometheusPort);  // closed at once: free for Prometheus
  harness::writeFile(scratch.path / "prometheus.yml",
                     "global:\n  scrape_interval: 1s\n  evaluation_interval: 1s\n"
                     "scrape_configs:\n  - job_name: ferrolux\n    static_configs:\n"
                     "      - targets: ['127.0.0.1:" +
                         std::to_string(servePort) + "']\n");
  QProcess prometheus;
  prometheus.setProcessChannelMode(QProcess::MergedChannels);
  prometheus.start(
      kPrometheus,
      {"--config.file=" + QString::fromStdString((scratch.path / "prometheus.yml").string()),
       "--storage.tsdb.path=" + QString::fromStdString((scratch.path / "data").string()),
       "--web.listen-address=127.0.0.1:" + QString::number(prometheusPort)});

  // Samples and scrapes both come once a second, so one five-second window holds three, four or
  // five counter steps depending on their phase; the rate is compared over twenty seconds of such
  // windows, which evens that out. The sampler's figures are fixed, so the power is steady.
  const QString power = R"(ferrolux_power_watts{domain="package"})";
  const QString rate = R"(rate(ferrolux_energy_joules_total{domain="package"}[5s]))";
  const bool enough = fxtest::pumpUntil(
      [&] { return query(prometheusPort, "ferrolux_samples_total").value_or(0) >= 28; }, 120000);
  ASSERT_TRUE(enough) << said.toStdString() << prometheus.readAll().toStdString();
  ASSERT_TRUE(query(prometheusPort, power) && query(prometheusPort, rate));
  const std::optional<double> watts = query(prometheusPort, "avg_over_time(" + power + "[20s])");
  const std::optional<double> joulesPerSecond =
      query(prometheusPort, "avg_over_time(" + rate + "[20s:1s])");
  ASSERT_TRUE(watts && joulesPerSecond);
  EXPECT_GT(*watts, 0);
  EXPECT_NEAR(*joulesPerSecond, *watts, 0.1 * *watts)
      << query(prometheusPort,
               "increase(ferrolux_energy_joules_total{domain=\"package\"}[20s]) / 20")
             .value_or(-1);
  EXPECT_EQ(query(prometheusPort, "ferrolux_helper_up"), 1.0);

  // Every query of the Grafana dashboard, for this machine as its instance variable, has data.
  QFile file(FERROLUX_SOURCE_DIR "/packaging/grafana/ferrolux.json");
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  const QJsonArray panels = QJsonDocument::fromJson(file.readAll()).object()["panels"].toArray();
  ASSERT_EQ(panels.size(), 6);
  for (const QJsonValue panel : panels) {
    const QJsonArray targets = panel["targets"].toArray();
    EXPECT_FALSE(targets.isEmpty()) << panel["title"].toString().toStdString();
    for (const QJsonValue target : targets) {
      const QString expr =
          target["expr"].toString().replace("$instance", QString("127.0.0.1:%1").arg(servePort));
      EXPECT_TRUE(query(prometheusPort, expr))
          << panel["title"].toString().toStdString() << ": " << expr.toStdString();
    }
  }

  // A stop signal ends it cleanly; the helper stays for its other clients.
  ::kill(static_cast<pid_t>(serve.processId()), SIGTERM);
  ASSERT_TRUE(serve.waitForFinished(30000));
  EXPECT_EQ(serve.exitCode(), 0);
  EXPECT_FALSE(helper->waitExit(500ms)) << helper->log();
  prometheus.terminate();
  prometheus.waitForFinished(30000);
}

// The value of a counter or gauge without labels on a scraped page; -1 when it is not there.
double metric(const QString& page, const QString& name) {
  const auto m = QRegularExpression("\n" + name + " (\\S+)\n").match(page);
  return m.hasMatch() ? m.captured(1).toDouble() : -1;
}

// One helper serves several clients at once for T seconds (FERROLUX_CLIENTS_SECONDS, 60 unless
// set; every event keeps its share of T): this exporter scraped every second, a recording
// started and stopped, two snapshots, and a client of the test's own standing in for the window:
// it asks once a second for samples of a length nobody else asks for, and quits as the window
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
    if (windowOpen) asked += standIn->requestPowermetrics(100, false) ? 1 : 0;
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
      EXPECT_LT((*doc.value)["elapsed_ns"].number().value_or(0), 400e6) << "another's sample";
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
