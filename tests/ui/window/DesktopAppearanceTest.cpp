// The window follows the desktop's light or dark preference as a stand-in XDG desktop portal on
// a private bus states it at start, then switches on the portal's change signal without a
// restart; no preference hands the appearance back to Qt's palette.
#include <QApplication>
#include <QDBusConnection>
#include <QDBusVariant>
#include <QProcess>
#include <QSignalSpy>
#include <QtTest>

#include "app/ui/DesktopAppearance.h"
#include "app/ui/Style.h"
#include "ui/window/WindowFixture.h"

namespace {

// The portal's Settings interface, as much of it as the application uses.
class PortalSettings : public QObject {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.freedesktop.portal.Settings")

 public:
  uint scheme = 1;

 public slots:
  // The portal's Read wraps its value in one variant more than the signal does.
  QDBusVariant Read(const QString&, const QString&) {
    return QDBusVariant(QVariant::fromValue(QDBusVariant(QVariant::fromValue(scheme))));
  }

 signals:
  void SettingChanged(const QString& nameSpace, const QString& key, const QDBusVariant& value);
};

// The power card's background inside its left padding, as the window shows it.
QRgb cardPixel(fxtest::Window& w) {
  ModuleView& card = w.module(0);
  const QImage image = w.window->grab().toImage();
  const QPointF padding(card.cardRect().left() + 3, card.cardRect().center().y());
  const QPoint inside = card.mapTo(w.window.get(), padding.toPoint());
  return image.pixel(inside * image.devicePixelRatio());
}

}  // namespace

class DesktopAppearanceTest : public QObject {
  Q_OBJECT

 private slots:
  void followsThePortalWithoutRestart();
};

void DesktopAppearanceTest::followsThePortalWithoutRestart() {
  QTemporaryDir dir;
  QFile conf(dir.filePath("bus.conf"));
  QVERIFY(conf.open(QIODevice::WriteOnly));
  conf.write(
      "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-BUS Bus Configuration 1.0//EN\" "
      "\"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n<busconfig>"
      "<type>session</type><listen>unix:dir=" +
      dir.path().toUtf8() +
      "</listen><policy context=\"default\"><allow send_destination=\"*\"/>"
      "<allow receive_sender=\"*\"/><allow own=\"*\"/></policy></busconfig>\n");
  conf.close();
  QProcess daemon;
  daemon.start("dbus-daemon",
               {"--config-file=" + conf.fileName(), "--nofork", "--print-address=1"});
  QVERIFY2(daemon.waitForStarted(), "dbus-daemon: scripts/install-deps installs it");
  QTRY_VERIFY(daemon.canReadLine());
  const QString address = QString::fromUtf8(daemon.readLine()).trimmed();
  const auto stop = qScopeGuard([&] {
    daemon.kill();
    daemon.waitForFinished();
  });

  PortalSettings portal;
  QDBusConnection portalBus = QDBusConnection::connectToBus(address, "portal");
  QVERIFY(portalBus.registerService(DesktopAppearance::kService));
  QVERIFY(portalBus.registerObject(
      DesktopAppearance::kPath, &portal,
      QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllSignals));

  fxtest::Window w;
  w.model->xpcmanager().setAuthorized(true);  // the cards uncovered
  w.interface().refresh();
  const QPalette started = QApplication::palette();
  QVERIFY(!Style::isDark(started));
  const QRgb light = cardPixel(w);

  DesktopAppearance appearance(QDBusConnection::connectToBus(address, "application"));
  QTRY_COMPARE(appearance.scheme(), DesktopAppearance::Scheme::Dark);
  QVERIFY(Style::isDark(QApplication::palette()));
  QTRY_VERIFY(qGray(cardPixel(w)) < 100);

  // The portal's change signal, sent over the bus: the window switches without a restart.
  const QString ns = DesktopAppearance::kNamespace;
  const auto change = [&](const QString& key, uint value) {
    emit portal.SettingChanged(ns, key, QDBusVariant(QVariant::fromValue(value)));
  };
  QSignalSpy switched(&appearance, &DesktopAppearance::schemeChanged);
  change("other-key", 0);  // not ours: nothing changes
  change(DesktopAppearance::kKey, 2);
  QTRY_COMPARE(appearance.scheme(), DesktopAppearance::Scheme::Light);
  QCOMPARE(switched.size(), 1);       // straight from dark: the other key was passed over
  QTRY_COMPARE(cardPixel(w), light);  // repainted once the palette change has gone round
  QVERIFY(!Style::isDark(QApplication::palette()));
  change(DesktopAppearance::kKey, 1);
  QTRY_COMPARE(appearance.scheme(), DesktopAppearance::Scheme::Dark);
  QTRY_VERIFY(qGray(cardPixel(w)) < 100);
  change(DesktopAppearance::kKey, 0);  // no preference: Qt's palette again
  QTRY_COMPARE(appearance.scheme(), DesktopAppearance::Scheme::NoPreference);
  QCOMPARE(QApplication::palette(), started);
}

QTEST_MAIN(DesktopAppearanceTest)
#include "DesktopAppearanceTest.moc"
