#include "app/record/RecordPlot.h"

#include <QCoreApplication>
#include <QProcess>

#include "app/headless/HeadlessRuntime.h"

namespace record {

namespace {

// A day of rows takes a few seconds; only a hung process waits this long.
constexpr int kPlotMs = 120000;

}  // namespace

bool drawRecording(const std::string& csv, const std::string& picture, bool incomplete) {
  QStringList arguments{QStringLiteral("plot"), QString::fromStdString(csv),
                        QStringLiteral("--output"), QString::fromStdString(picture)};
  if (incomplete) arguments << QStringLiteral("--incomplete");
  QProcess plot;
  plot.setProcessChannelMode(QProcess::ForwardedChannels);
  plot.setInputChannelMode(QProcess::ManagedInputChannel);
  plot.start(QCoreApplication::applicationFilePath(), arguments);
  if (!plot.waitForFinished(kPlotMs)) {
    plot.kill();
    plot.waitForFinished();
    headless::say("the picture of the recording was not drawn: " +
                  plot.errorString().toStdString());
    return false;
  }
  return plot.exitStatus() == QProcess::NormalExit && plot.exitCode() == 0;
}

}  // namespace record
