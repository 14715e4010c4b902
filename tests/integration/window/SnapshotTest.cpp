// `ferrolux --snapshot` as users run it, on every shipped profile in both appearances: the
// built application samples with the profile's own sampler (no helper installed) and writes a
// 2x PNG whose graphs carry their series' colours, or, for an Intel Mac, only the refusal.
#include <QDir>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>

namespace {

// Opaque pixels within two steps of `rgb` in every channel.
int count(const QImage& image, QRgb rgb) {
  int n = 0;
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) {
      const QRgb p = image.pixel(x, y);
      n += qAlpha(p) == 255 && std::abs(qRed(p) - qRed(rgb)) <= 2 &&
           std::abs(qGreen(p) - qGreen(rgb)) <= 2 && std::abs(qBlue(p) - qBlue(rgb)) <= 2;
    }
  }
  return n;
}

}  // namespace

class SnapshotTest : public QObject {
  Q_OBJECT

 private slots:
  void everyProfileInBothAppearances_data();
  void everyProfileInBothAppearances();
};

void SnapshotTest::everyProfileInBothAppearances_data() {
  QTest::addColumn<QString>("profile");
  QTest::addColumn<bool>("dark");
  const QDir profiles(FERROLUX_SOURCE_DIR "/data/profiles");
  for (const QString& file : profiles.entryList({"*.plist"})) {
    for (bool dark : {false, true}) {
      const QString name = QFileInfo(file).baseName();
      QTest::newRow(qPrintable(name + (dark ? " dark" : " light"))) << name << dark;
    }
  }
}

void SnapshotTest::everyProfileInBothAppearances() {
  QFETCH(QString, profile);
  QFETCH(bool, dark);
  QTemporaryDir dir;
  const QString png = dir.filePath("window.png");
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("FERROLUX_HELPER_ENDPOINT", dir.filePath("nobody.sock"));
  env.insert("FERROLUX_DEFAULTS_FILE", dir.filePath("defaults.ini"));
  QProcess app;
  app.setProcessEnvironment(env);
  QStringList args{"--snapshot", png, "--samples", "3", "--platform", "sim:" + profile};
  if (dark) args << "--dark";
  app.start(FERROLUX_BUILD_DIR "/app/ferrolux", args);
  QVERIFY(app.waitForFinished(120000));
  QVERIFY2(app.exitCode() == 0, app.readAllStandardError().constData());
  const QImage image(png);
  QCOMPARE(image.width(), 800);  // 400 points at 2x
  // The light and dark variants of the PKG and E-CORE blue: bars and curves use it.
  const QRgb blue = dark ? qRgb(10, 132, 255) : qRgb(0, 122, 255);
  const QRgb otherBlue = dark ? qRgb(0, 122, 255) : qRgb(10, 132, 255);
  const QRgb window = image.pixel(image.width() / 2, image.height() - 4);
  QCOMPARE(qGray(window) < 128, dark);
  // A few antialiased edge pixels may land on the other variant by chance; a window drawn in the
  // wrong appearance shows it on every bar and curve (thousands of pixels at 2x).
  QVERIFY(count(image, otherBlue) < 20);
  if (profile.contains("intel")) {
    QCOMPARE(count(image, blue), 0);  // the refusal alone: no cards
  } else {
    // Two legend bars of 65 and 80 points, 4 high, at 2x, and the curves over them.
    QVERIFY(count(image, blue) > (65 + 80) * 4 * 4);
  }
}

QTEST_MAIN(SnapshotTest)
#include "SnapshotTest.moc"
