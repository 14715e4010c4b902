// The built application ends through its normal quit path when it is asked to stop by a signal,
// so the helper is still told to close.
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <string>

#include <QProcess>
#include <QProcessEnvironment>

#include "shared/xpc/Socket.h"
#include "unit/core/ScratchDir.h"

namespace {

namespace fs = std::filesystem;

// Waits for one connection on `listener`; invalid after `ms` without one.
xpc::UniqueFd acceptWithin(int listener, int ms) {
  pollfd p{listener, POLLIN, 0};
  if (::poll(&p, 1, ms) != 1) return {};
  return xpc::UniqueFd(::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC));
}

TEST(FerroluxQuitSignal, EachStopSignalQuitsCleanlyAndClosesTheHelper) {
  for (const int sig : {SIGTERM, SIGINT, SIGHUP}) {
    SCOPED_TRACE(sig);
    const fxtest::ScratchDir scratch("fx-quit");
    ASSERT_FALSE(scratch.path.empty());
    const fs::path& dir = scratch.path;
    const std::string endpoint = (dir / "helper.sock").string();
    xpc::UniqueFd listener = xpc::listenUnix(endpoint);
    ASSERT_TRUE(listener.valid());

    QProcess app;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("FERROLUX_HELPER_ENDPOINT", QString::fromStdString(endpoint));
    env.insert("FERROLUX_DEFAULTS_FILE", QString::fromStdString((dir / "defaults.ini").string()));
    app.setProcessEnvironment(env);
    app.start(QStringLiteral(FERROLUX_BUILD_DIR "/app/ferrolux"),
              {QStringLiteral("--platform"), QStringLiteral("sim:macbookpro-m2pro")});
    ASSERT_TRUE(app.waitForStarted());

    // The start-up check's connection comes after the handlers are in place. Closing it
    // without a hello is a refusal, so the application keeps running without a helper.
    xpc::UniqueFd startup = acceptWithin(listener.get(), 30000);
    ASSERT_TRUE(startup.valid());
    startup.reset();
    // Until the application has seen that refusal it still holds the refused connection, and a
    // close request would go there; the test is about the quit path, so it waits for that first.
    QByteArray seen;
    while (!seen.contains("connectionInvalidationHandler") && app.waitForReadyRead(30000))
      seen += app.readAllStandardOutput();
    ASSERT_TRUE(seen.contains("connectionInvalidationHandler")) << seen.toStdString();

    ::kill(static_cast<pid_t>(app.processId()), sig);
    // Quitting opens a fresh connection to tell the helper to close.
    EXPECT_TRUE(acceptWithin(listener.get(), 10000).valid());
    ASSERT_TRUE(app.waitForFinished(30000));
    EXPECT_EQ(app.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(app.exitCode(), 0);
  }
}

}  // namespace
