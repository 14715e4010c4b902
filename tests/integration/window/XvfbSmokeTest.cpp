// The built application as a user starts it: on a private X server (Xvfb), on a simulated Mac,
// fed by the build tree's helper on a private socket. After five samples the screen must show
// the four cards with a curve in every series' colour and figures in every legend, and the
// window must carry its own icon and the class its desktop entry names. Then the keyboard, as
// the X server delivers it to the focused window: Ctrl+Comma opens the settings, Esc closes
// them, Ctrl+Q quits the normal way (exit status 0, the helper told to close).
//
// The test process is an X client of the same server and grabs the screen itself. There is no
// window manager to hand out focus, so xdotool sets it and types through the XTEST extension.
// Without Xvfb the test skips, saying so (scripts/install-deps installs it and xdotool).
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QProcess>
#include <QScreen>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>
#include <optional>

#include "integration/helper/HelperHarness.h"

namespace {

// Started by main() before the application object, which must connect to it.
QProcess* xserver = nullptr;

// Loose enough for a curve along the plot's edge, half clipped and antialiased (a busy host's
// utilization sits at 100); the series colours lie much further apart than that.
bool near(QRgb p, QRgb rgb) {
  return std::abs(qRed(p) - qRed(rgb)) <= 30 && std::abs(qGreen(p) - qGreen(rgb)) <= 30 &&
         std::abs(qBlue(p) - qBlue(rgb)) <= 30;
}

int count(const QImage& image, const QRect& area, QRgb rgb) {
  int n = 0;
  for (int y = area.top(); y <= area.bottom(); ++y)
    for (int x = area.left(); x <= area.right(); ++x)
      n += near(image.pixel(x, y), rgb);
  return n;
}

// The light cards are white on the light grey window: a column near the window's left edge
// crosses all four cards as four long white runs (the chip title is not a card).
QList<QRect> whiteRuns(const QImage& screen, int x) {
  const int minHeight = 2 * 120;  // cards are 140 and 160 points high, at 2x
  QList<QRect> found;
  int start = -1;
  for (int y = 0; y <= screen.height(); ++y) {
    const bool white = y < screen.height() && screen.pixel(x, y) == qRgb(255, 255, 255);
    if (white && start < 0) start = y;
    if (!white && start >= 0) {
      if (y - start >= minHeight) found.append(QRect(x, start, 1, y - start));
      start = -1;
    }
  }
  return found;
}

QList<QRect> cards(const QImage& screen) {
  for (int x = 0; x < screen.width() / 2; ++x) {
    if (whiteRuns(screen, x).size() != 4) continue;
    // Inside the left padding, past the rounded corners, the runs span the cards' full height.
    QList<QRect> found = whiteRuns(screen, x + 12);
    // Nothing right of the cards carries a series colour: the rows reach the screen's edge.
    for (QRect& card : found)
      card.setRight(screen.width() - 1);
    return found;
  }
  return {};
}

// Standard output of an X tool run on the test's display.
QString x11(const QString& program, const QStringList& arguments) {
  QProcess tool;
  tool.start(program, arguments);
  if (!tool.waitForFinished(10000)) return {};
  return QString::fromUtf8(tool.readAllStandardOutput());
}

// Focuses window `id` and types `keys` (xdotool's names) into it as the keyboard would.
bool type(const QString& id, const QString& keys) {
  for (const QStringList& arguments :
       {QStringList{"windowfocus", "--sync", id}, QStringList{"key", keys}}) {
    QProcess tool;
    tool.start("xdotool", arguments);
    if (!tool.waitForFinished(10000) || tool.exitStatus() != QProcess::NormalExit ||
        tool.exitCode() != 0)
      return false;
  }
  return true;
}

// Whether window `id` is mapped and viewable.
bool viewable(const QString& id) {
  return x11("xwininfo", {"-id", id}).contains("Map State: IsViewable");
}

// The id of the top-level window titled `title`, or empty.
QString windowId(const QString& title) {
  const QString tree = x11("xwininfo", {"-root", "-tree"});
  for (const QString& line : tree.split('\n')) {
    const QString trimmed = line.trimmed();
    if (trimmed.contains(" \"" + title + "\": ")) return trimmed.section(' ', 0, 0);
  }
  return {};
}

// The class the desktop entry says its windows carry.
QString startupWMClass() {
  QFile entry(FERROLUX_SOURCE_DIR "/packaging/com.tarquell.Ferrolux.desktop");
  if (!entry.open(QIODevice::ReadOnly)) return {};
  for (const QByteArray& line : entry.readAll().split('\n'))
    if (line.startsWith("StartupWMClass=")) return QString::fromUtf8(line.mid(15));
  return {};
}

}  // namespace

class XvfbSmokeTest : public QObject {
  Q_OBJECT

 private slots:
  void fourLiveCardsThenKeyboard();
};

void XvfbSmokeTest::fourLiveCardsThenKeyboard() {
  if (!xserver) QSKIP("Xvfb is not installed: scripts/install-deps installs it");
  harness::ScratchDir scratch;
  const auto dir = scratch.path;
  // The helper gives its sampler almost no environment: a wrapper carries the profile and
  // counts the samples asked for.
  harness::writeSimSampler(dir / "tools/powermetrics", "",
                           "echo >> '" + (dir / "runs").string() + "'\n");
  harness::HelperProcess helper(dir, {"--tools-dir", (dir / "tools").string()});
  QVERIFY(helper.pid > 0);
  const QString socket = QString::fromStdString(helper.socket);
  QVERIFY(QTest::qWaitFor([&] { return QFileInfo(socket).exists(); }, 20000));

  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("QT_QPA_PLATFORM", "xcb");
  env.insert("QT_SCALE_FACTOR", "2");
  env.insert("HOME", QString::fromStdString(dir.string()));
  env.insert("FERROLUX_HELPER_ENDPOINT", socket);
  env.insert("FERROLUX_HELPER_COPY", QString::fromStdString(helper.kExecutable));
  env.insert("FERROLUX_DEFAULTS_FILE", QString::fromStdString((dir / "defaults.ini").string()));
  QProcess app;
  app.setProcessEnvironment(env);
  app.setProcessChannelMode(QProcess::ForwardedErrorChannel);
  app.start(FERROLUX_BUILD_DIR "/app/ferrolux", {"--platform", "sim:macbookpro-m2pro"});
  QVERIFY(app.waitForStarted());

  // Five samples answered once the sixth is asked for; then the screen catches up.
  const auto runs = [&] {
    return QString::fromStdString(harness::readFile(dir / "runs")).count('\n');
  };
  QVERIFY2(QTest::qWaitFor([&] { return runs() >= 6; }, 60000),
           qPrintable(QString::fromStdString(harness::readFile(dir / "helper.log"))));

  // The series of each card with the default settings, top to bottom, in the light colours. The
  // profile's CPU minimum lies clear of the other temperatures; its DRAM power (a macOS 13
  // machine: no figure) is a line along the plot's bottom edge, half clipped, so power is
  // checked without it.
  const QRgb blue = qRgb(0, 122, 255), cyan = qRgb(85, 190, 240), pink = qRgb(255, 45, 85),
             purple = qRgb(175, 82, 222), green = qRgb(52, 199, 89);
  const QList<QList<QRgb>> series = {
      {cyan, blue, pink}, {cyan, blue}, {purple, blue, cyan, pink}, {green}};
  QImage screen;
  QList<QRect> found;
  QString failure = "no screen";
  const bool shown = QTest::qWaitFor(
      [&] {
        screen = QGuiApplication::primaryScreen()->grabWindow(0).toImage();
        found = cards(screen);
        if (found.size() != 4) return (failure = "not four cards"), false;
        for (int i = 0; i < 4; ++i) {
          const QRect card = found[i];
          // The graph fills the card below 40 % of its height; the legend lies above.
          const QRect graph(card.left(), card.top() + card.height() * 40 / 100, card.width(),
                            card.height() * 60 / 100);
          for (QRgb rgb : series[i]) {
            if (count(screen, graph, rgb) < 20)
              return (failure = QString("card %1 lacks curve colour %2").arg(i).arg(rgb, 0, 16)),
                     false;
          }
          // Figures: label and value ink in every legend entry, far more than labels alone.
          const QRect legend(card.left(), card.top() + card.height() * 18 / 100, card.width(),
                             card.height() * 24 / 100);
          int ink = 0;
          for (int y = legend.top(); y <= legend.bottom(); ++y)
            for (int x = legend.left(); x <= legend.right(); ++x) {
              const QRgb p = screen.pixel(x, y);  // dark and grey: text, not a colour bar
              ink += qGray(p) < 110 && std::abs(qRed(p) - qBlue(p)) < 20;
            }
          if (ink < 300 * series[i].size())
            return (failure = QString("card %1 legend shows little: %2").arg(i).arg(ink)), false;
        }
        return true;
      },
      30000);
  const QString png = QDir::temp().filePath("ferrolux-xvfb-smoke.png");
  screen.save(png);
  QVERIFY2(shown, qPrintable(failure + ", screen in " + png));

  // The window's icon comes from the program itself, and its class names the desktop entry.
  const QString id = windowId("Ferrolux");
  QVERIFY2(!id.isEmpty(), qPrintable(x11("xwininfo", {"-root", "-tree"})));
  const QString props = x11("xprop", {"-id", id, "-len", "64", "_NET_WM_ICON", "WM_CLASS"});
  QVERIFY2(props.contains("_NET_WM_ICON(CARDINAL) ="), qPrintable(props));
  const QString wmClass = startupWMClass();
  QVERIFY(!wmClass.isEmpty());
  QVERIFY2(props.contains(", \"" + wmClass + "\""), qPrintable(props));

  QVERIFY2(type(id, "ctrl+comma"), "xdotool: scripts/install-deps installs it");
  QString settings;
  QVERIFY(QTest::qWaitFor([&] { return !(settings = windowId("Ferrolux Settings")).isEmpty(); }));
  QTRY_VERIFY(viewable(settings));
  QVERIFY(type(settings, "Escape"));
  QTRY_VERIFY(!viewable(settings));
  QVERIFY(type(id, "ctrl+q"));
  QVERIFY(app.waitForFinished(20000));
  QCOMPARE(app.exitStatus(), QProcess::NormalExit);
  QCOMPARE(app.exitCode(), 0);
  QCOMPARE(helper.waitExit(), std::optional<int>(0));  // its last client said goodbye
}

int main(int argc, char** argv) {
  const QString xvfb = QStandardPaths::findExecutable("Xvfb");
  QProcess server;
  if (!xvfb.isEmpty()) {
    // A free display of its own choosing, its number written to our pipe; black root.
    server.start(xvfb,
                 {"-displayfd", "1", "-screen", "0", "1200x1600x24", "-br", "-nolisten", "tcp"});
    if (server.waitForReadyRead(30000)) {
      const QByteArray display = server.readLine().trimmed();
      qputenv("DISPLAY", ":" + display);
      qputenv("QT_QPA_PLATFORM", "xcb");
      xserver = &server;
    }
  }
  int status;
  {
    QGuiApplication app(argc, argv);
    XvfbSmokeTest test;
    status = QTest::qExec(&test, argc, argv);
  }
  if (xserver) {
    server.terminate();
    server.waitForFinished();
  }
  return status;
}

#include "XvfbSmokeTest.moc"
