// The graph drawn to pixels: where curves land, what the clip hides, which curve is on top,
// and that the cheap scrolling refresh draws exactly what a full redraw draws.
#include <QPainter>
#include <QRandomGenerator>
#include <QtTest>

#include "GalleryHelpers.h"
#include "app/ui/graph/GraphGeometry.h"
#include "app/ui/graph/GraphRenderer.h"
#include "app/ui/graph/GraphView.h"

using Work = GraphRenderer::Work;

class GraphRenderTest : public QObject {
  Q_OBJECT

 private slots:
  void newestValueSitsOnTheRightEdge_data();
  void newestValueSitsOnTheRightEdge();
  void nothingIsDrawnOutsideThePlot();
  void laterCurvesCoverEarlierOnes();
  void scrollingDrawsWhatAFullRedrawDraws_data();
  void scrollingDrawsWhatAFullRedrawDraws();
  void redrawsOnlyWhatChanged();
  void viewFollowsThePalette();
  void sharpPeaksAreBevelled_data();
  void sharpPeaksAreBevelled();
  void threeDigitLabelsAreNotCut_data();
  void threeDigitLabelsAreNotCut();
  void gallery();
};

void GraphRenderTest::newestValueSitsOnTheRightEdge_data() {
  QTest::addColumn<qreal>("dpr");
  QTest::addColumn<bool>("dark");
  QTest::newRow("1x light") << 1.0 << false;
  QTest::newRow("2x dark") << 2.0 << true;
}

void GraphRenderTest::newestValueSitsOnTheRightEdge() {
  QFETCH(qreal, dpr);
  QFETCH(bool, dark);
  // Plot 200 x 100; the value puts the stroke's centre on the middle of pixel row 50, which
  // the 1.5 pt stroke then covers fully.
  const QColor blue = Style::color(NamedColor::Blue, dark);
  const QList<GraphData> datas = {{"a", QList<double>(30, 1 - 50.5 / 100), blue}};
  GraphRenderer renderer;
  renderer.update({"1", "0"}, datas, QSize(220, 110), dpr, dark);
  const QImage image = renderer.composed();
  const auto at = [&](qreal x, qreal y) {
    return image.pixelColor(int(x * dpr), int(y * dpr)).rgb();
  };
  QCOMPARE(at(199.5, 5 + 50.5), blue.rgb());       // the newest point, at the plot's right edge
  QCOMPARE(at(171.5, 5 + 50.5), blue.rgb());       // 28 points to the left: the oldest value
  QVERIFY(gallery::neutral(at(169.5, 5 + 50.5)));  // past the oldest value nothing is drawn
  QVERIFY(gallery::neutral(at(200.5, 5 + 50.5)));  // the label column is not part of the plot
}

void GraphRenderTest::nothingIsDrawnOutsideThePlot() {
  // Values wildly outside 0..1 and a full history much wider than the plot.
  QList<double> wild;
  for (int i = 0; i < 350; ++i)
    wild.append(i % 2 ? 1.6 : -0.7);
  const QList<GraphData> datas = {{"clipped", QList<double>(350, 1.2), Qt::red},
                                  {"wild", wild, Qt::green}};
  for (qreal dpr : {1.0, 2.0}) {
    GraphRenderer renderer;
    renderer.update({"2", "1", "0"}, datas, QSize(140, 90), dpr, false);
    const QImage image = renderer.composed();
    const QRectF plot = GraphLayout::forWidget({140, 90}).plot;
    const QRect plotPixels(int(plot.x() * dpr), int(plot.y() * dpr), int(plot.width() * dpr),
                           int(plot.height() * dpr));
    int coloured = 0;
    for (int y = 0; y < image.height(); ++y) {
      for (int x = 0; x < image.width(); ++x) {
        const QRgb pixel = image.pixel(x, y);
        if (plotPixels.contains(x, y)) {
          // A 1.2 lies above the top: no red anywhere, not even a fringe on the top row.
          QVERIFY2(qRed(pixel) <= qGreen(pixel) + 2 || qAlpha(pixel) < 255,
                   qPrintable(QString("red at %1,%2").arg(x).arg(y)));
          coloured += !gallery::neutral(pixel);
        } else {
          QVERIFY2(gallery::neutral(pixel), qPrintable(QString("colour at %1,%2").arg(x).arg(y)));
        }
      }
    }
    QVERIFY(coloured > 0);  // the wild curve crosses the plot
  }
}

void GraphRenderTest::laterCurvesCoverEarlierOnes() {
  const QList<double> same(50, 0.495);
  for (const auto& [first, second] : {std::pair{QColor(Qt::red), QColor(Qt::blue)},
                                      std::pair{QColor(Qt::blue), QColor(Qt::red)}}) {
    GraphRenderer renderer;
    renderer.update({"1", "0"}, {{"a", same, first}, {"b", same, second}}, QSize(120, 110), 1,
                    false);
    QCOMPARE(renderer.composed().pixelColor(90, 55).rgb(), second.rgb());
  }
}

void GraphRenderTest::scrollingDrawsWhatAFullRedrawDraws_data() {
  QTest::addColumn<qreal>("dpr");
  QTest::addColumn<int>("start");  // values already in the history
  QTest::addColumn<int>("cap");    // the longest a history gets
  QTest::addColumn<int>("width");
  QTest::addColumn<QColor>("backdrop");
  const QColor none = Qt::transparent;
  const QColor card(38, 38, 40);
  QTest::newRow("1x filling") << 1.0 << 0 << 350 << 180 << none;
  QTest::newRow("1x full") << 1.0 << 350 << 350 << 180 << none;
  QTest::newRow("2x full") << 2.0 << 350 << 350 << 180 << none;
  QTest::newRow("2x full on a card") << 2.0 << 350 << 350 << 180 << card;
  // The oldest value, cut at every step, lies in sight.
  QTest::newRow("1x cut in sight") << 1.0 << 100 << 100 << 180 << none;
  QTest::newRow("2x cut near the left edge, on a card") << 2.0 << 165 << 165 << 180 << card;
}

void GraphRenderTest::scrollingDrawsWhatAFullRedrawDraws() {
  QFETCH(qreal, dpr);
  QFETCH(int, start);
  QFETCH(int, cap);
  QFETCH(int, width);
  QFETCH(QColor, backdrop);
  // Big jumps make sharp turns and long miters, the case most likely to reach across the
  // strip that scrolling redraws; NaN and out-of-range values make gaps and clipped stretches.
  QRandomGenerator random(42);
  const auto next = [&] {
    const int pick = int(random.bounded(10));
    if (pick == 0) return std::numeric_limits<double>::quiet_NaN();
    if (pick == 1) return 1.3;
    if (pick < 5) return double(random.bounded(2));
    return random.generateDouble();
  };
  QList<GraphData> datas = {{"a", {}, Qt::red}, {"b", {}, Qt::blue}, {"c", {}, Qt::darkGreen}};
  for (GraphData& graph : datas) {
    for (int i = 0; i < start; ++i)
      graph.data.append(next());
  }
  const QSize size(width, 70);
  GraphRenderer scrolling;
  scrolling.update({"1", "0"}, datas, size, dpr, false, backdrop);
  int scrolled = 0;
  for (int step = 0; step < 20; ++step) {
    for (GraphData& graph : datas) {
      graph.data.prepend(next());
      if (graph.data.size() > cap) graph.data.removeLast();
    }
    scrolled += scrolling.update({"1", "0"}, datas, size, dpr, false, backdrop) == Work::Scrolled;
    GraphRenderer fresh;
    fresh.update({"1", "0"}, datas, size, dpr, false, backdrop);
    QVERIFY2(scrolling.plot() == fresh.plot(), qPrintable(QString("step %1").arg(step)));
  }
  // While the history fills, the oldest point stays visible and is never dropped, so every
  // step can scroll; with a full history the dropped value is far out of sight.
  QCOMPARE(scrolled, 20);
}

void GraphRenderTest::redrawsOnlyWhatChanged() {
  QList<GraphData> datas = gallery::fourSeries(false);
  GraphRenderer renderer;
  const QSize size(352, 102);
  QCOMPARE(renderer.update({"1", "0"}, datas, size, 1, false), Work::Redrawn);
  QCOMPARE(renderer.update({"1", "0"}, datas, size, 1, false), Work::None);
  // Fresh ids every build must not count as a change: they are not drawn.
  for (GraphData& graph : datas)
    graph.id += "-again";
  QCOMPARE(renderer.update({"1", "0"}, datas, size, 1, false), Work::None);
  const QImage before = renderer.composed();
  // The appearance changes grid and labels, and the grid lies under the curves.
  QCOMPARE(renderer.update({"1", "0"}, datas, size, 1, true), Work::Redrawn);
  QVERIFY(renderer.composed() != before);
  QCOMPARE(renderer.update({"1", "0"}, datas, size, 1, true, Qt::black), Work::Redrawn);
  QCOMPARE(renderer.plot().format(), QImage::Format_RGB32);  // opaque: shown by a plain copy
  QCOMPARE(renderer.update({"1", "0"}, datas, size, 1, true, Qt::transparent), Work::Redrawn);
  QCOMPARE(renderer.update({"1", "0"}, datas, size, 2, true), Work::Redrawn);  // scale
  datas[2].color = Qt::black;
  QCOMPARE(renderer.update({"1", "0"}, datas, size, 2, true), Work::Redrawn);  // colour
  datas[0].data[100] += 0.01;
  QCOMPARE(renderer.update({"1", "0"}, datas, size, 2, true), Work::Redrawn);  // old value
  datas[1].data.prepend(0.5);
  QCOMPARE(renderer.update({"1", "0"}, datas, size, 2, true), Work::Redrawn);  // not all moved
  datas[3].data.removeLast();
  QCOMPARE(renderer.update({"1", "0"}, datas, size, 2, true), Work::Redrawn);  // one shortened
  for (GraphData& graph : datas)
    graph.data.prepend(0.25);
  QCOMPARE(renderer.update({"1", "0"}, datas, size, 2, true), Work::Scrolled);
  QCOMPARE(renderer.update({"1", "0"}, datas, size, 1.5, true), Work::Redrawn);
  for (GraphData& graph : datas)
    graph.data.prepend(0.75);
  QCOMPARE(renderer.update({"1", "0"}, datas, size, 1.5, true),
           Work::Redrawn);  // pixels don't align
}

void GraphRenderTest::viewFollowsThePalette() {
  GraphView view({"100", "50", "0"}, gallery::fourSeries(false));
  view.resize(300, 110);
  const QImage light = gallery::bare(view);
  view.setPalette(gallery::palette(true));
  const QImage dark = gallery::bare(view);
  // The top grid line: black at 10 % on light, white at 10 % on dark.
  const QColor lightGrid = light.pixelColor(20, 5);
  const QColor darkGrid = dark.pixelColor(20, 5);
  QVERIFY(lightGrid.alpha() > 0 && lightGrid.alpha() < 40);
  QCOMPARE(qGray(lightGrid.rgb()), 0);
  QVERIFY(qGray(darkGrid.rgb()) > 200);
  // A named colour is looked up when painting: the same series turns to the dark variant.
  GraphView named({"1", "0"}, {{"a", QList<double>(50, 1 - 50.5 / 100), NamedColor::Blue}});
  named.resize(220, 110);
  QCOMPARE(gallery::bare(named).pixelColor(190, 55).rgb(),
           Style::color(NamedColor::Blue, false).rgb());
  named.setPalette(gallery::palette(true));
  QCOMPARE(gallery::bare(named).pixelColor(190, 55).rgb(),
           Style::color(NamedColor::Blue, true).rgb());
}

void GraphRenderTest::sharpPeaksAreBevelled_data() {
  QTest::addColumn<qreal>("dpr");
  QTest::newRow("1x") << 1.0;
  QTest::newRow("2x") << 2.0;
}

void GraphRenderTest::sharpPeaksAreBevelled() {
  QFETCH(qreal, dpr);
  // A one-sample peak from 0.3 up to 0.6 and back, 1 pt each way: its miter would be far longer
  // than ten line widths, so the join is bevelled and the stroke ends within a point of the
  // peak (y = 40) instead of spiking upwards.
  GraphRenderer renderer;
  renderer.update({"1", "0"}, {{"a", {0.3, 0.6, 0.3}, Qt::red}}, QSize(120, 110), dpr, false);
  const QImage& curves = renderer.plot();
  int top = curves.height();
  for (int y = 0; y < curves.height() && top == curves.height(); ++y) {
    for (int x = 0; x < curves.width(); ++x) {
      const QRgb pixel = curves.pixel(x, y);
      if (qRed(pixel) > qGreen(pixel) + 8 && qAlpha(pixel) > 0) {  // red ink, not the grey grid
        top = y;
        break;
      }
    }
  }
  QVERIFY2(top / dpr >= 39 && top / dpr <= 41, qPrintable(QString::number(top / dpr)));
}

void GraphRenderTest::threeDigitLabelsAreNotCut_data() {
  QTest::addColumn<qreal>("dpr");
  QTest::addColumn<QStringList>("labels");
  QTest::newRow("celsius 1x") << 1.0 << QStringList{"120", "100", "80", "60", "40", "20"};
  QTest::newRow("fahrenheit 2x") << 2.0 << QStringList{"250", "215", "180", "145", "110", "75"};
}

void GraphRenderTest::threeDigitLabelsAreNotCut() {
  QFETCH(qreal, dpr);
  QFETCH(QStringList, labels);
  GraphRenderer renderer;
  renderer.update(labels, {}, QSize(120, 110), dpr, false);
  const QImage& image = renderer.labels();
  // The widget's last pixel column stays clear: nothing reached, and so nothing was cut at,
  // the edge. The labels are there all the same.
  int inkAtEdge = 0, inkInColumn = 0;
  for (int y = 0; y < image.height(); ++y) {
    inkAtEdge += qAlpha(image.pixel(image.width() - 1, y)) > 0;
    for (int x = int(104 * dpr); x < image.width(); ++x)
      inkInColumn += qAlpha(image.pixel(x, y)) > 0;
  }
  QCOMPARE(inkAtEdge, 0);
  QVERIFY(inkInColumn > 6 * 10 * dpr * dpr);
}

void GraphRenderTest::gallery() {
  for (bool dark : {false, true}) {
    for (qreal dpr : {1.0, 2.0}) {
      GraphRenderer renderer;
      renderer.update({"4.0", "3.0", "2.0", "1.0", "0.0"}, gallery::fourSeries(dark),
                      QSize(352, 102), dpr, dark);
      QImage image(renderer.composed().size(), QImage::Format_ARGB32_Premultiplied);
      image.setDevicePixelRatio(dpr);
      image.fill(Style::color(NamedColor::WindowBackground, dark));
      QPainter painter(&image);
      painter.drawImage(0, 0, renderer.composed());
      painter.end();
      QVERIFY(
          gallery::save(image, QString("graph-%1-%2x").arg(dark ? "dark" : "light").arg(int(dpr))));
      // Every series shows in its own colour, and the label column has ink of the foreground.
      for (const GraphData& graph : gallery::fourSeries(dark))
        QVERIFY2(gallery::count(image, graph.color.resolve(dark)) > 30 * dpr, qPrintable(graph.id));
      const QImage& background = renderer.labels();
      int labelInk = 0;
      for (int y = 0; y < background.height(); ++y) {
        for (int x = int(332 * dpr); x < background.width(); ++x)
          labelInk += qAlpha(background.pixel(x, y)) > 100;
      }
      QVERIFY(labelInk > 20 * dpr * dpr);
    }
  }
}

QTEST_MAIN(GraphRenderTest)
#include "GraphRenderTest.moc"
