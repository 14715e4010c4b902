#include "app/plot/PlotPage.h"

#include <QBuffer>
#include <QImage>
#include <QLabel>
#include <QPainter>
#include <QSvgGenerator>

#include <algorithm>
#include <cmath>
#include <utility>

#include "app/log/LogFileData.h"
#include "app/plot/PlotCard.h"
#include "app/plot/PlotRows.h"
#include "app/plot/TimeAxis.h"
#include "app/ui/Style.h"

namespace plot {

namespace {

constexpr int kMargin = 12;
constexpr int kCardSpacing = 8;
constexpr int kAxisHeight = 14;

// "1:02:03", "2:03" or "12 s": the recording's length for the header.
QString length(double seconds) {
  const auto s = static_cast<long long>(std::llround(seconds));
  if (s < 60) return QString::number(s) + QStringLiteral(" s");
  if (s < 3600) return QString::asprintf("%lld:%02lld", s / 60, s % 60);
  return QString::asprintf("%lld:%02lld:%02lld", s / 3600, (s / 60) % 60, s % 60);
}

QString energyLine(const record::RecordSummary& summary) {
  using D = headless::EnergyMeter::Domain;
  const std::pair<const char*, D> domains[] = {
      {"PKG", D::Package}, {"CPU", D::CPU}, {"DRAM", D::DRAM}, {"GPU", D::GPU}};
  QStringList parts;
  for (const auto& [name, d] : domains) {
    const bool seen = !std::isnan(summary.peakWatts(d));
    const double j = summary.joules(d);
    parts << QString::fromLatin1(name) + QStringLiteral(" ") +
                 (seen ? QString::fromStdString(logfile::formatNumber(j, 1)) +
                             QStringLiteral(" J (") +
                             QString::fromStdString(logfile::formatNumber(j / 3600, 4)) +
                             QStringLiteral(" Wh)")
                       : QStringLiteral("n/a"));
  }
  return QStringLiteral("Energy   ") + parts.join(QStringLiteral("    "));
}

QLabel* label(const QString& text, QFont font, QWidget* parent) {
  auto* l = new QLabel(text, parent);
  l->setFont(font);
  l->setTextFormat(Qt::PlainText);
  return l;
}

}  // namespace

PlotPage::PlotPage(const Recording& recording, const PageOptions& options, QWidget* parent)
    : QWidget(parent) {
  setPalette(Style::windowPalette(options.dark));
  setAutoFillBackground(true);
  const int width = std::clamp(options.width, kMinWidth, kMaxWidth);
  const double total = recording.elapsed.back() - recording.elapsed.front();
  const record::RecordSummary summary = summarize(recording);

  int y = kMargin;
  const int inner = width - 2 * kMargin;
  QString title = options.title;
  if (options.incomplete) title += QStringLiteral("  (incomplete)");
  QLabel* heading = label(title, Style::font(TextStyle::Title3, QFont::Bold), this);
  heading->setGeometry(kMargin + 1, y, inner, heading->sizeHint().height());
  y += heading->height() + 2;
  const QString times =
      QStringLiteral("Start %1   End %2   Length %3   %4 %5")
          .arg(QString::fromStdString(recording.firstTime),
               QString::fromStdString(recording.lastTime), length(total),
               QString::number(recording.rows()),
               recording.rows() == 1 ? QStringLiteral("sample") : QStringLiteral("samples"));
  for (const QString& line : {times, energyLine(summary)}) {
    QLabel* l = label(line, Style::font(TextStyle::Body), this);
    l->setGeometry(kMargin + 1, y, inner, l->sizeHint().height());
    y += l->height() + 2;
  }
  y += kCardSpacing;

  // The grid of the time axis, the same in every card: the plot is as wide in each.
  const int plotWidth = inner - 2 - 2 * 8 - 20;
  const std::vector<double> ticks = tickSeconds(total, plotWidth);
  std::vector<double> tickTimes;
  for (double t : ticks)
    tickTimes.push_back(recording.elapsed.front() + t);
  for (PlotCardSpec& spec : cardSpecs(recording, summary)) {
    auto* card = new PlotCard(recording, std::move(spec.rows), tickTimes, spec.height,
                              spec.graphTopPadding, this);
    card->setGeometry(kMargin, y, inner, card->height());
    cards_.append(card);
    y += card->height() + kCardSpacing;
  }
  auto* axis = new TimeAxis(ticks, total, this);
  axis->setGeometry(0, y - kCardSpacing + 2, width, kAxisHeight);
  const QRect plot = plotRects().constLast();
  axis->setPlotSpan(plot.left(), plot.right() + 1);
  resize(width, y - kCardSpacing + 2 + kAxisHeight + kMargin);
}

QList<QRect> PlotPage::plotRects() const {
  QList<QRect> rects;
  for (const PlotCard* card : cards_)
    rects.append(card->plotRect().translated(card->pos()));
  return rects;
}

QByteArray PlotPage::png() {
  QImage image(size() * 2, QImage::Format_ARGB32_Premultiplied);
  image.setDevicePixelRatio(2);
  image.fill(Style::color(NamedColor::WindowBackground, Style::isDark(palette())));
  render(&image);
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  image.save(&buffer, "PNG");
  return bytes;
}

QByteArray PlotPage::svg() {
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  QSvgGenerator generator;
  generator.setOutputDevice(&buffer);
  generator.setSize(size());
  generator.setViewBox(QRect(QPoint(0, 0), size()));
  generator.setTitle(QStringLiteral("Ferrolux recording"));
  QPainter painter(&generator);
  render(&painter);
  painter.end();
  return bytes;
}

}  // namespace plot
