// The temperature and utilization cards over their real models: the texts each legend shows in
// both temperature units and every combination of the utilization settings, where a value lands
// on the fixed scales, and the dash of a value that is not a number.
#include <QTemporaryDir>
#include <QtTest>

#include "app/core/UserDefaults.h"
#include "app/metrics/ModuleModelTemperature.h"
#include "app/metrics/ModuleModelUtilization.h"
#include "app/metrics/SGPowerMetrics.h"
#include "app/ui/GraphLineTitle.h"
#include "app/ui/LegendViewGeometry.h"
#include "app/ui/ModuleTitle.h"
#include "app/ui/ModuleViewTemperature.h"
#include "app/ui/ModuleViewUtilization.h"
#include "app/ui/graph/GraphView.h"
#include "unit/metrics/SampleBuilders.h"
#include "unit/sysinfo/FakePlatform.h"

namespace {

// Each entry as "LABEL=value"; a two-line entry as "UP DOWN=value".
QStringList legend(const ModuleView& view) {
  QStringList texts;
  for (const LegendEntry* entry : view.legend()->entries()) {
    if (const auto* one = qobject_cast<const GraphSingleLineTitle*>(entry))
      texts << one->label() + "=" + entry->value();
    else if (const auto* two = qobject_cast<const GraphDoubleLineTitle*>(entry))
      texts << two->labelUp() + " " + two->labelDown() + "=" + entry->value();
  }
  return texts;
}

using Readings = QList<double>;

TemperatureReadings readings(const Readings& values) {
  TemperatureReadings out;
  int i = 0;
  for (double v : values)
    out["Tp0" + std::to_string(i++)] = v;
  return out;
}

}  // namespace

class ModuleCardsTest : public QObject {
  Q_OBJECT

 private slots:
  void temperature_data();
  void temperature();
  void utilization_data();
  void utilization();
};

void ModuleCardsTest::temperature_data() {
  QTest::addColumn<int>("unit");  // 0 is Celsius
  QTest::addColumn<Readings>("cpu");
  QTest::addColumn<Readings>("gpu");
  QTest::addColumn<QStringList>("texts");
  QTest::addColumn<QString>("labelRight");
  QTest::addColumn<double>("avgPoint");  // the CPU average's height on the graph, 0 to 1
  QTest::newRow("celsius") << 0 << Readings{40, 50, 60} << Readings{45.5}
                           << QStringList{"CORE AVG=50.00", "CORE MAX=60", "CORE MIN=40",
                                          "GPU AVG=45.50"}
                           << "\u2103" << 0.3;
  // 50 °C is 122 °F, past 100: one decimal. 60.4 °C is 140.7 °F, shown as "141".
  QTest::newRow("fahrenheit") << 1 << Readings{39.6, 50.0, 60.4} << Readings{20}
                              << QStringList{"CORE AVG=122.0", "CORE MAX=141", "CORE MIN=103",
                                             "GPU AVG=68.00"}
                              << "\u2109" << 0.269;
  // The model's -1 for "no sensor" is a dash in both units, never "-1" or its 30 °F.
  const QStringList dashes{"CORE AVG=\u2013", "CORE MAX=\u2013", "CORE MIN=\u2013",
                           "GPU AVG=\u2013"};
  QTest::newRow("no readings") << 0 << Readings{} << Readings{} << dashes << "\u2103" << qQNaN();
  QTest::newRow("no readings, fahrenheit")
      << 1 << Readings{} << Readings{} << dashes << "\u2109" << qQNaN();
}

void ModuleCardsTest::temperature() {
  QFETCH(int, unit);
  QFETCH(Readings, cpu);
  QFETCH(Readings, gpu);
  QFETCH(QStringList, texts);
  QFETCH(QString, labelRight);
  QFETCH(double, avgPoint);
  QTemporaryDir dir;
  UserDefaults defaults(dir.filePath("d.ini"));
  FakePlatform machine;
  ModuleModelTemperature model(machine);
  ModuleViewTemperature view(model, defaults);
  // The unit is read live: a card drawn in the other unit follows the setting at once.
  defaults.setValue(defaults::kTemperatureUnit, 1 - unit);
  model.record(readings(cpu), readings(gpu));
  model.updateView();
  defaults.setValue(defaults::kTemperatureUnit, unit);
  QCOMPARE(legend(view), texts);
  QCOMPARE(view.title()->labelRight(), labelRight);
  const GraphData& average = view.graph()->datas().at(2);
  QCOMPARE(average.data.size(), 1);
  if (std::isnan(avgPoint)) {
    QVERIFY(std::isnan(average.data.at(0)));
    QVERIFY(std::isnan(view.graph()->datas().at(1).data.at(0)));  // the maximum: a gap too
  } else {
    QCOMPARE(qRound(average.data.at(0) * 1000), qRound(avgPoint * 1000));
  }
}

void ModuleCardsTest::utilization_data() {
  QTest::addColumn<bool>("showEPUtilization");
  QTest::addColumn<bool>("gpuUtilization");
  QTest::addColumn<QStringList>("texts");
  QTest::addColumn<int>("curves");
  // Between the two samples cpu0 and cpu1 (E) idle, cpu2 and cpu3 (P) busy: 50 % overall.
  QTest::newRow("aggregate") << false << false << QStringList{"CORE=50.00"} << 1;
  QTest::newRow("aggregate, gpu") << false << true << QStringList{"CORE=50.00", "GPU=37.00"} << 2;
  QTest::newRow("e and p") << true << false << QStringList{"E-CORE=0.00", "P-CORE=100.0"} << 2;
  QTest::newRow("e and p, gpu") << true << true
                                << QStringList{"E-CORE=0.00", "P-CORE=100.0", "GPU=37.00"} << 3;
}

void ModuleCardsTest::utilization() {
  QFETCH(bool, showEPUtilization);
  QFETCH(bool, gpuUtilization);
  QFETCH(QStringList, texts);
  QFETCH(int, curves);
  QTemporaryDir dir;
  UserDefaults defaults(dir.filePath("d.ini"));
  SGPowerMetrics store(true, defaults);
  store.setHelperLink({[](double, bool) {}, [] { return true; }});
  ScriptedPlatform machine;
  machine.gpu = std::make_unique<FakeGPU>();
  machine.gpu->reading = {"Apple M2", 0.37, {}};
  machine.load.texts = {
      "cpu  0 0 0 0\ncpu0 0 0 0 0\ncpu1 0 0 0 0\ncpu2 0 0 0 0\ncpu3 0 0 0 0\n",
      "cpu  0 0 0 0\ncpu0 0 0 0 100\ncpu1 0 0 0 100\ncpu2 100 0 0 0\ncpu3 100 0 0 0\n"};
  ModuleModelUtilization model(store, machine);
  store.setModuleUpdate(SGPowerMetrics::Step::Utilization, [&model] { model.update(); });
  ModuleViewUtilization view(model, defaults);
  const plist::Value sample = fxtest::withClusters(
      {fxtest::cluster("E-Cluster", 1e9, {0, 1}), fxtest::cluster("P-Cluster", 3e9, {2, 3})});
  store.applySample(sample);
  store.applySample(sample);
  model.updateView();
  // Settings are read live: each change redraws the card at once.
  defaults.setValue(defaults::kShowEPUtilization, showEPUtilization);
  defaults.setValue(defaults::kGPUUtilization, gpuUtilization);
  QCOMPARE(legend(view), texts);
  QCOMPARE(view.graph()->datas().size(), curves);
  for (const GraphData& series : view.graph()->datas())
    QCOMPARE(series.data.size(), 2);
}

QTEST_MAIN(ModuleCardsTest)
#include "ModuleCardsTest.moc"
