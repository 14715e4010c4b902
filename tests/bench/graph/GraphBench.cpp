// What one graph costs per refresh: four full 350-point series in a module-sized graph, drawn
// into a window-like target, at 1x and 2x scale.
//   Full:      every value changed (a new axis scale, a theme switch, the first frame).
//   Scroll:    the usual sample, one new value in front of each series.
//   Unchanged: a repaint with nothing new (an expose, a tooltip over the card).
#include <benchmark/benchmark.h>

#include <QGuiApplication>
#include <QImage>
#include <QPainter>

#include <cmath>

#include "app/ui/graph/GraphRenderer.h"

namespace {

void ensureApp() {
  static int argc = 1;
  static char name[] = "graph_bench";
  static char* argv[] = {name, nullptr};
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  static QGuiApplication app(argc, argv);
}

const QSize kSize(352, 102);  // a 332 x 92 plot beside the label column
const QStringList kLabels = {"20", "15", "10", "5", "0"};

double value(int series, long sample) {
  return 0.5 + 0.45 * std::sin(sample * 0.071 + series) * std::cos(sample * 0.013 + 2 * series);
}

QList<GraphData> series(long newest) {
  const QColor colours[] = {QColor(85, 190, 240), QColor(0, 122, 255), QColor(255, 149, 0),
                            QColor(255, 45, 85)};
  QList<GraphData> datas;
  for (int s = 0; s < 4; ++s) {
    GraphData graph{QString::number(s), {}, colours[s]};
    for (long i = 0; i < 350; ++i)
      graph.data.append(value(s, newest - i));
    datas.append(graph);
  }
  return datas;
}

QImage target(qreal dpr) {
  QImage image(kSize * dpr, QImage::Format_ARGB32_Premultiplied);
  image.setDevicePixelRatio(dpr);
  image.fill(Qt::white);
  return image;
}

void refresh(GraphRenderer& renderer, const QList<GraphData>& datas, QImage& image, qreal dpr) {
  renderer.update(kLabels, datas, kSize, dpr, false);
  QPainter painter(&image);
  renderer.paint(painter);
}

void BM_GraphFullRefresh(benchmark::State& state) {
  ensureApp();
  const qreal dpr = qreal(state.range(0));
  const QList<GraphData> sets[] = {series(1000), series(5000)};  // unrelated histories
  GraphRenderer renderer;
  QImage image = target(dpr);
  long i = 0;
  for (auto _ : state)
    refresh(renderer, sets[i++ % 2], image, dpr);
}
BENCHMARK(BM_GraphFullRefresh)->Arg(1)->Arg(2)->Unit(benchmark::kMicrosecond);

void BM_GraphScrollRefresh(benchmark::State& state) {
  ensureApp();
  const qreal dpr = qreal(state.range(0));
  QList<GraphData> datas = series(1000);
  GraphRenderer renderer;
  QImage image = target(dpr);
  refresh(renderer, datas, image, dpr);
  long newest = 1000;
  for (auto _ : state) {
    ++newest;
    for (int s = 0; s < 4; ++s) {
      datas[s].data.prepend(value(s, newest));
      datas[s].data.removeLast();
    }
    refresh(renderer, datas, image, dpr);
  }
}
BENCHMARK(BM_GraphScrollRefresh)->Arg(1)->Arg(2)->Unit(benchmark::kMicrosecond);

void BM_GraphUnchangedRepaint(benchmark::State& state) {
  ensureApp();
  const qreal dpr = qreal(state.range(0));
  const QList<GraphData> datas = series(1000);
  GraphRenderer renderer;
  QImage image = target(dpr);
  for (auto _ : state)
    refresh(renderer, datas, image, dpr);
}
BENCHMARK(BM_GraphUnchangedRepaint)->Arg(1)->Arg(2)->Unit(benchmark::kMicrosecond);

}  // namespace
