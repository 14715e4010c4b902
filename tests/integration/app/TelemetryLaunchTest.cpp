// The built application sends its one usage request at start to the endpoint the environment
// names, and a stop signal while that request is unanswered still ends it normally.
#include <gtest/gtest.h>

#include <csignal>

#include <QProcess>
#include <QProcessEnvironment>

#include "unit/core/LocalHttpServer.h"
#include "unit/core/QtApp.h"
#include "unit/core/ScratchDir.h"

namespace {

TEST(FerroluxTelemetry, TheStartRequestReachesTheEndpointAndQuittingDoesNotWaitForIt) {
  fxtest::coreApp();
  const fxtest::ScratchDir scratch("fx-telemetry");
  ASSERT_FALSE(scratch.path.empty());
  fxtest::LocalHttpServer server;
  server.mode = fxtest::LocalHttpServer::Mode::Silent;

  QProcess app;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("QT_QPA_PLATFORM", "offscreen");
  env.insert("FERROLUX_HELPER_ENDPOINT",
             QString::fromStdString((scratch.path / "none.sock").string()));
  env.insert("FERROLUX_DEFAULTS_FILE", QString::fromStdString((scratch.path / "d.ini").string()));
  env.insert("FERROLUX_TELEMETRY_URL", server.url("/checkme/"));
  env.remove("DO_NOT_TRACK");
  app.setProcessEnvironment(env);
  app.start(QStringLiteral(FERROLUX_BUILD_DIR "/app/ferrolux"),
            {QStringLiteral("--platform"), QStringLiteral("sim:macbookpro-m2pro")});
  ASSERT_TRUE(app.waitForStarted());

  ASSERT_TRUE(fxtest::pumpUntil([&] { return server.requestLines.size() == 1; }, 30000));
  const QString line = server.requestLines.front();
  EXPECT_TRUE(line.startsWith("GET /checkme/piwik.php?e_c=com.tarquell.Ferrolux&"))
      << line.toStdString();
  EXPECT_TRUE(line.contains("&res=")) << line.toStdString();

  ::kill(static_cast<pid_t>(app.processId()), SIGTERM);
  ASSERT_TRUE(app.waitForFinished(30000));
  EXPECT_EQ(app.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(app.exitCode(), 0);
  EXPECT_EQ(server.requestLines.size(), 1);
}

}  // namespace
