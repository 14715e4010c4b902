// The card pieces drawn to pixels: card size and corners, backgrounds in both appearances,
// colour bars, the title's tooltip and the legend row's placement.
#include <QFontMetricsF>
#include <QHelpEvent>
#include <QToolTip>
#include <QVBoxLayout>
#include <QtTest>

#include "GalleryHelpers.h"
#include "app/ui/GraphLineTitle.h"
#include "app/ui/LegendViewGeometry.h"
#include "app/ui/ModuleTitle.h"
#include "app/ui/ModuleViewDecoration.h"
#include "app/ui/graph/GraphView.h"

namespace {

struct TallWidget : QWidget {
  QSize sizeHint() const override { return {100, 400}; }
};

// A power-like module assembled from the pieces, the way the module views put them together.
QWidget* sampleModule(bool dark, bool twoLine) {
  auto* body = new QWidget;
  auto* column = new QVBoxLayout(body);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(0);
  column->addWidget(new ModuleTitle("Power", "WATTS", "Power in Watts"));
  auto* legend = new LegendViewGeometry;
  if (twoLine) {
    legend->setEntries(
        {new GraphDoubleLineTitle("CORE", "AVG", "48.25", Style::color(NamedColor::Cyan, dark), 85),
         new GraphDoubleLineTitle("GPU", "AVG", "41.50", Style::color(NamedColor::Pink, dark),
                                  80)});
  } else {
    legend->setEntries(
        {new GraphSingleLineTitle("PKG", "12.34", Style::color(NamedColor::Blue, dark), 65),
         new GraphSingleLineTitle("CPU", "8.01", Style::color(NamedColor::Cyan, dark), 65),
         new GraphSingleLineTitle("DRAM", "N/A", Style::color(NamedColor::Orange, dark), 75),
         new GraphSingleLineTitle("GPU", "0.52", Style::color(NamedColor::Pink, dark), 65)});
  }
  column->addWidget(legend);
  column->addSpacing(10 - legend->overflowBottom() - 5);
  column->addWidget(new GraphView({"20", "15", "10", "5", "0"}, gallery::fourSeries(dark)), 1);
  auto* card = new ModuleViewDecoration(160, body);
  card->resize(384, card->height());
  return card;
}

}  // namespace

class ModuleCardTest : public QObject {
  Q_OBJECT

 private slots:
  void cardKeepsItsHeightWithRoundedCorners_data();
  void cardKeepsItsHeightWithRoundedCorners();
  void colourBarIsExactlyTheEntryWidth_data();
  void colourBarIsExactlyTheEntryWidth();
  void legendRowPlacesEntriesTwelveApart();
  void stackedLabelsNeverTouch_data();
  void stackedLabelsNeverTouch();
  void powerEntriesKeepNameAndValue_data();
  void powerEntriesKeepNameAndValue();
  void titleShowsItsHelpAsTooltip();
  void gallery();
};

void ModuleCardTest::cardKeepsItsHeightWithRoundedCorners_data() {
  QTest::addColumn<qreal>("height");
  QTest::addColumn<bool>("dark");
  QTest::addColumn<int>("cardAlpha");
  QTest::newRow("160 light") << 160.0 << false << 255;
  QTest::newRow("140 dark") << 140.0 << true << 20;  // white at 8 %
}

void ModuleCardTest::cardKeepsItsHeightWithRoundedCorners() {
  QFETCH(qreal, height);
  QFETCH(bool, dark);
  QFETCH(int, cardAlpha);
  // Content that would like to be taller than the card must not stretch it.
  auto* tall = new TallWidget;
  ModuleViewDecoration card(height, tall);
  card.setPalette(gallery::palette(dark));
  card.resize(300, 500);
  QCOMPARE(card.height(), int(height) + 2 * ModuleViewDecoration::kShadowMargin);
  QCOMPARE(card.cardRect().height(), height);
  const QImage image = gallery::bare(card);  // sends the pending resize too
  // 8 of padding on every side, inside the card's height.
  const int inset = ModuleViewDecoration::kShadowMargin + 8;
  QCOMPARE(tall->geometry(), QRect(inset, inset, 300 - 2 * inset, int(height) - 16));

  const QPoint corner = card.cardRect().topLeft().toPoint();
  const auto alpha = [&](int dx, int dy) { return qAlpha(image.pixel(corner + QPoint(dx, dy))); };
  const int tolerance = dark ? 2 : 6;
  QCOMPARE(alpha(40, 40), cardAlpha);    // inside
  QCOMPARE(alpha(8, 0), cardAlpha);      // the top edge starts where the 8 pt arc ends
  QCOMPARE(alpha(3, 3), cardAlpha);      // pixel centre 6.4 from the arc's centre: inside
  QVERIFY(alpha(1, 1) < cardAlpha / 2);  // 9.2 away: outside, only the shadow is there
  QVERIFY(alpha(0, 0) <= tolerance);
  // A faint shadow just outside the edge; a faint card casts next to none.
  QVERIFY(alpha(40, -1) > 0 || dark);
  QVERIFY(alpha(40, -1) <= (dark ? 2 : 26));
  // The background is white in both appearances, differing only in opacity.
  const QColor inside = image.pixelColor(corner + QPoint(40, 40));
  QCOMPARE(inside.red(), 255);
  QCOMPARE(inside.blue(), 255);
}

void ModuleCardTest::colourBarIsExactlyTheEntryWidth_data() {
  QTest::addColumn<bool>("twoLine");
  QTest::addColumn<QString>("label");
  QTest::addColumn<int>("width");
  QTest::newRow("one line") << false << "PKG" << 65;
  QTest::newRow("one line, texts too wide") << false << "A VERY LONG LABEL" << 40;
  QTest::newRow("two lines") << true << "CORE" << 85;
  QTest::newRow("two lines, texts too wide") << true << "A VERY LONG LABEL" << 50;
}

void ModuleCardTest::colourBarIsExactlyTheEntryWidth() {
  QFETCH(bool, twoLine);
  QFETCH(QString, label);
  QFETCH(int, width);
  const QColor pink = Style::color(NamedColor::Pink, false);
  std::unique_ptr<LegendEntry> entry;
  if (twoLine) {
    entry = std::make_unique<GraphDoubleLineTitle>(label, "AVG", "123.45", pink, width);
  } else {
    entry = std::make_unique<GraphSingleLineTitle>(label, "123.45", pink, width);
  }
  QCOMPARE(entry->width(), width);
  const QImage image = gallery::bare(*entry);
  // The bar's rows: 4 high, 10 (one line) or 16 (two lines) below the band's centre.
  const int top = int(entry->bandTop()) + 8 + (twoLine ? 16 : 10);
  for (int y = top; y < top + 4; ++y) {
    int run = 0;
    for (int x = 0; x < image.width(); ++x)
      run += image.pixel(x, y) == pink.rgba();
    QCOMPARE(run, width);
  }
  QVERIFY(image.pixel(width / 2, top - 1) != pink.rgba());
  QVERIFY(top + 4 > image.height() || image.pixel(width / 2, top + 4) != pink.rgba());
}

void ModuleCardTest::legendRowPlacesEntriesTwelveApart() {
  LegendViewGeometry legend;
  auto* single = new GraphSingleLineTitle("PKG", "1.00", Qt::blue, 65);
  auto* twoLine = new GraphDoubleLineTitle("CORE", "AVG", "50.00", Qt::cyan, 85);
  legend.setEntries({single, twoLine});
  legend.resize(120, legend.height());  // narrower than both entries
  QCOMPARE(single->pos(), QPoint(0, 0));
  QCOMPARE(twoLine->pos(), QPoint(65 + 12, 0));
  QCOMPARE(twoLine->width(), 85);  // cut by the row's edge, not squeezed
  // The band is 20 high; the widget adds exactly the room the entries reach beyond it.
  QCOMPARE(legend.height(), legend.bandTop() + 20 + legend.overflowBottom());
  QCOMPARE(legend.bandTop(), int(std::ceil(twoLine->overflowTop())));
  QCOMPARE(legend.overflowBottom(), 8);  // the two-line bar: 16 below centre, 4 high
  QCOMPARE(single->bandTop(), qreal(legend.bandTop()));
  // Replacing the entries deletes the old ones.
  QPointer<LegendEntry> old = single;
  legend.setEntries({new GraphSingleLineTitle("GPU", "2.00", Qt::red, 65)});
  QVERIFY(old.isNull());
  QCOMPARE(legend.overflowBottom(), 2);  // the one-line bar: 10 below centre, 4 high
}

void ModuleCardTest::stackedLabelsNeverTouch_data() {
  QTest::addColumn<qreal>("scale");
  QTest::addColumn<QString>("up");
  QTest::addColumn<QString>("down");
  for (qreal scale : {1.0, 1.5, 2.0}) {
    QTest::addRow("CORE AVG %.1fx", scale) << scale << "CORE"
                                           << "AVG";
    QTest::addRow("CORE MAX %.1fx", scale) << scale << "CORE"
                                           << "MAX";
    QTest::addRow("GPU AVG %.1fx", scale) << scale << "GPU"
                                          << "AVG";
  }
}

void ModuleCardTest::stackedLabelsNeverTouch() {
  QFETCH(qreal, scale);
  QFETCH(QString, up);
  QFETCH(QString, down);
  // Labels only: no value, a clear bar, so every inked pixel belongs to one of the two labels.
  GraphDoubleLineTitle entry(up, down, "", QColor(Qt::transparent), 85);
  QImage image(entry.size() * scale, QImage::Format_ARGB32_Premultiplied);
  image.setDevicePixelRatio(scale);
  image.fill(Qt::transparent);
  entry.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
  // The inked rows must form two runs with at least one blank row between them.
  QList<int> runStarts;
  bool inRun = false;
  for (int y = 0; y < image.height(); ++y) {
    bool inked = false;
    for (int x = 0; x < image.width() && !inked; ++x)
      inked = qAlpha(image.pixel(x, y)) > 0;
    if (inked && !inRun) runStarts << y;
    inRun = inked;
  }
  QCOMPARE(runStarts.size(), 2);
}

void ModuleCardTest::powerEntriesKeepNameAndValue_data() {
  QTest::addColumn<QString>("label");
  QTest::addColumn<int>("width");
  QTest::addColumn<QString>("value");
  for (const char* value : {"0.00", "198.31", "9999.99"}) {
    QTest::addRow("PKG %s", value) << "PKG" << 65 << QString(value);
    QTest::addRow("DRAM %s", value) << "DRAM" << 75 << QString(value);
    QTest::addRow("GPU %s", value) << "GPU" << 65 << QString(value);
  }
}

void ModuleCardTest::powerEntriesKeepNameAndValue() {
  QFETCH(QString, label);
  QFETCH(int, width);
  QFETCH(QString, value);
  GraphSingleLineTitle entry(label, value, Qt::blue, width);
  const LegendEntryLayout layout = entry.entryLayout();
  const auto advance = [](const QFont& font, const QString& text) {
    return QFontMetricsF(font).horizontalAdvance(text);
  };
  // The name is whole at its own size, the value whole at the size it is drawn at, and the
  // two keep the label's trailing padding between them.
  QVERIFY(advance(LegendEntry::labelFont(), label) <= layout.label.width() + 0.01);
  const QFont drawn =
      LegendEntry::fittedFont(LegendEntry::valueFont(), value, layout.value.width());
  QVERIFY2(advance(drawn, value) <= layout.value.width() + 0.01, qPrintable(value));
  QVERIFY(drawn.pixelSize() >= LegendEntry::kSmallestPixelSize);
  QVERIFY(layout.label.right() + LegendEntryGeometry::kLabelTrailing <= layout.value.left() + 0.01);
  QCOMPARE(entry.width(), width);
}

void ModuleCardTest::titleShowsItsHelpAsTooltip() {
  ModuleTitle title("Power", "WATTS", "Power in Watts. Data from powermetrics");
  title.resize(300, title.sizeHint().height());
  title.show();
  QVERIFY(QTest::qWaitForWindowExposed(&title));
  QCOMPARE(title.height(), title.sizeHint().height());
  QHelpEvent event(QEvent::ToolTip, QPoint(150, 5), title.mapToGlobal(QPoint(150, 5)));
  QApplication::sendEvent(&title, &event);
  QTRY_COMPARE(QToolTip::text(), QString("Power in Watts. Data from powermetrics"));
  // Its text is purple and sits above a 6 pt bottom padding.
  const QImage image = gallery::bare(title);
  bool purple = false;
  const QColor want = Style::color(NamedColor::Purple, false);
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) {
      const QColor c = image.pixelColor(x, y);
      if (c.alpha() == 255 && c.rgb() == want.rgb()) purple = true;
      if (y >= image.height() - ModuleTitle::kBottomPadding) QCOMPARE(c.alpha(), 0);
    }
  }
  QVERIFY(purple);
}

void ModuleCardTest::gallery() {
  for (bool dark : {false, true}) {
    for (bool twoLine : {false, true}) {
      std::unique_ptr<QWidget> card(sampleModule(dark, twoLine));
      const QImage image = gallery::shot(*card, dark);
      QCOMPARE(image.height(), 162);
      const QString name =
          QString("card-%1-%2").arg(twoLine ? "two-line" : "one-line").arg(dark ? "dark" : "light");
      QVERIFY(gallery::save(image, name));
      // Each legend bar shows in its colour (most of its 4 rows; texts may overlap it), and the
      // title is purple.
      for (const LegendEntry* entry : card->findChildren<LegendEntry*>())
        QVERIFY2(gallery::count(image, entry->color(), 0) >= 3 * entry->entryWidth(),
                 qPrintable(entry->value()));
      QVERIFY(gallery::count(image, Style::color(NamedColor::Purple, dark), 40) > 10);
    }
  }
}

QTEST_MAIN(ModuleCardTest)
#include "ModuleCardTest.moc"
