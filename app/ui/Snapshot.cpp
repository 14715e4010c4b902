#include "app/ui/Snapshot.h"

#include <QApplication>
#include <QBuffer>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QPixmap>
#include <QTimer>

#include <cstdio>
#include <string>

#include "app/core/CheckedFile.h"
#include "app/core/ExitStatus.h"
#include "app/core/NotificationCenter.h"
#include "app/model/ContentModel.h"
#include "app/model/GeneralModel.h"
#include "app/ui/ContentView.h"
#include "app/ui/MainInterface.h"
#include "app/ui/MainWindow.h"
#include "app/ui/Style.h"
#include "platform/Platform.h"
#include "shared/process/Process.h"
#include "shared/xpc/Connection.h"

namespace {

// Generous bounds: only a helper or sampler that hangs ever waits this long.
constexpr int kHelperCheckMs = 3000;
constexpr int kSampleMs = 15000;

// Runs the event loop until `done` holds or `ms` pass; returns `done()`.
template <typename Done>
bool waitFor(Done done, int ms) {
  QElapsedTimer clock;
  clock.start();
  while (!done() && clock.elapsed() < ms) {
    QEventLoop loop;
    QTimer::singleShot(20, &loop, &QEventLoop::quit);
    loop.exec();
  }
  return done();
}

// One sampler document, run the way the helper runs it but without nice's raised priority.
std::optional<std::string> runSampler(const platform::Platform& machine, double msSampling,
                                      bool includeGPU) {
  proc::Spec spec;
  spec.path = machine.toolPaths().powermetrics;
  spec.args = {"-n",         "1",
               "-i",         std::to_string(static_cast<long long>(msSampling)),
               "--samplers", includeGPU ? "cpu_power,gpu_power" : "cpu_power",
               "-f",         "plist"};
  spec.env = {"PATH=/usr/bin:/bin", "LC_ALL=C"};
  for (const auto& [name, value] : machine.toolEnvironment())
    spec.env.push_back(name + "=" + value);
  spec.captureStderr = true;
  const proc::Result result = proc::run(spec);
  if (!result.succeeded()) {
    std::fprintf(stderr, "ferrolux: the sampler %s failed: %s\n", spec.path.c_str(),
                 result.errorOutput.c_str());
    return std::nullopt;
  }
  return result.output;
}

}  // namespace

void Snapshot::prepareEnvironment() {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  qputenv("QT_SCALE_FACTOR", "2");
}

int Snapshot::run(GeneralModel& model, UserDefaults& defaults, platform::Platform& machine,
                  const SnapshotOptions& options) {
  QApplication::setPalette(Style::windowPalette(options.dark));
  MainWindow window(model, defaults);
  window.show();  // offscreen: creates the content model, which checks the helper

  int samples = 0;
  NotificationCenter::defaultCenter().addObserver(notifications::kUpdateView, &window,
                                                  [&samples] { ++samples; });
  helperlink::XPCManager& manager = model.xpcmanager();
  SGPowerMetrics& store = model.modelPowerMetrics();
  const bool sampling = model.processorType() == "ARM";
  // Without a socket nobody can answer, so there is no point waiting for the start-up check.
  const bool helperThere = QFileInfo(QString::fromStdString(xpc::helperEndpoint())).exists();
  if (sampling && helperThere && waitFor([&] { return manager.isAuthorized(); }, kHelperCheckMs)) {
    waitFor([&] { return samples >= options.samples; }, kSampleMs * options.samples);
  } else if (sampling) {
    // No current helper: the sampler stands in for it, and the window shows the modules as it
    // does while sampling.
    store.stopSampling();
    store.setHelperLink({{}, [] { return true; }});
    manager.setAuthorized(true);
    window.contentView()->interface()->refresh();
    for (int i = 0; i < options.samples; ++i) {
      const int before = samples;
      const auto document = runSampler(machine, store.msSampling(), store.includeGPU());
      if (!document) break;
      store.receiveSample(*document);
      waitFor([&] { return samples > before; }, kSampleMs);
    }
  }
  QApplication::processEvents();

  const QPixmap image = window.grab();
  QByteArray png;
  QBuffer buffer(&png);
  buffer.open(QIODevice::WriteOnly);
  if (!image.save(&buffer, "PNG")) {
    std::fprintf(stderr, "ferrolux: cannot encode the window as PNG\n");
    return exitstatus::kCannotWrite;
  }
  // The checked write path: a full disk or a device in the way is an error, never a 0-byte file.
  if (const std::string why = checkedfile::replaceFile(
          options.path.toStdString(), std::string_view(png.constData(), std::size_t(png.size())));
      !why.empty()) {
    std::fprintf(stderr, "ferrolux: cannot write %s: %s\n", qPrintable(options.path), why.c_str());
    return exitstatus::kCannotWrite;
  }
  std::fprintf(stderr, "ferrolux: %d samples, %dx%d pixels, written to %s\n", samples,
               image.width(), image.height(), qPrintable(options.path));
  return 0;
}
