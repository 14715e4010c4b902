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

#include <cmath>
#include <csignal>
#include <functional>
#include <optional>

#include "integration/export/ServeFixture.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using serve_test::ServeWithHelper;
using serve_test::startServe;

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

}  // namespace
