// The legends of the window's modules over a real root model: the texts, tool tips and series
// they build from the models, the samples' unread domains and the settings.
#include <QtTest>

#include <cmath>
#include <limits>

#include "ui/window/WindowFixture.h"

using fxtest::sample;
using Window = fxtest::Window;

class LegendsTest : public QObject {
  Q_OBJECT

 private slots:
  void legendsFollowModelsAndSettings_data();
  void legendsFollowModelsAndSettings();
  void linuxWithoutSensorsOrCountersShowsNoMarkers();
};

void LegendsTest::legendsFollowModelsAndSettings_data() {
  QTest::addColumn<QString>("profile");
  QTest::addColumn<bool>("gpuFrequency");
  QTest::addColumn<double>("cpuEnergy");  // millijoules over the 500 ms sample
  QTest::addColumn<QVariantMap>("unread");
  QTest::addColumn<QStringList>("power");
  QTest::addColumn<QStringList>("powerTips");
  QTest::addColumn<QStringList>("frequency");
  QTest::addColumn<int>("frequencyCurves");
  QTest::addColumn<int>("powerCurves");  // none for a domain shown as "N/A" but macOS 13's DRAM
  const double nan = std::numeric_limits<double>::quiet_NaN();
  // macOS 13: no DRAM figure, "N/A" in the legend while the curve is still drawn.
  const QString os13 = "Not reported by the sampler on macOS 13 or later";
  QTest::newRow("os13, no gpu") << "macbookpro-m2pro" << false << 2500.0 << QVariantMap{}
                                << QStringList{"PKG=12.00", "CPU=5.00", "DRAM=N/A", "GPU=1.00"}
                                << QStringList{"", "", os13, ""}
                                << QStringList{"E-CORE=2.00", "P-CORE=3.20"} << 2 << 4;
  // No package figure in the sample: "N/A", not a 0 W reading.
  QTest::newRow("os12, gpu, no cpu reading")
      << "macmini-m1" << true << nan << QVariantMap{}
      << QStringList{"PKG=N/A", "CPU=\u2013", "DRAM=0.80", "GPU=1.00"}
      << QStringList{"Not reported by the sampler", "", "", ""}
      << QStringList{"E-CORE=2.00", "P-CORE=3.20", "GPU=1.00"} << 3 << 3;
  // 198 W of CPU: name and figure both whole in the 65 pt entry.
  QTest::newRow("200 W") << "macbookpro-m2pro" << false << 99155.0 << QVariantMap{}
                         << QStringList{"PKG=12.00", "CPU=198.31", "DRAM=N/A", "GPU=1.00"}
                         << QStringList{"", "", os13, ""}
                         << QStringList{"E-CORE=2.00", "P-CORE=3.20"} << 2 << 4;
  // A Linux sampler that names what it could not read: "N/A" and why, never "0.00".
  QTest::newRow("unread domains")
      << "macmini-m1" << false << 2500.0
      << QVariantMap{{"package_energy", "permission"}, {"dram_energy", "no zone"}}
      << QStringList{"PKG=N/A", "CPU=5.00", "DRAM=N/A", "GPU=1.00"}
      << QStringList{"Needs the installed helper: only root may read this machine's power counters",
                     "", "Not measured on this machine: it has no power counter for this domain",
                     ""}
      << QStringList{"E-CORE=2.00", "P-CORE=3.20"} << 2 << 2;
  // Cores of one kind and no GPU: no E-core or GPU entry or curve, never a made-up "0.00".
  QTest::newRow("linux, no e-cores, no gpu")
      << "linux:vm-minimal" << true << 2500.0 << QVariantMap{}
      << QStringList{"PKG=N/A", "CPU=5.00", "DRAM=0.80", "GPU=1.00"}
      << QStringList{"Not reported by the sampler", "", "", ""} << QStringList{"P-CORE=3.20"} << 1
      << 3;
}

void LegendsTest::legendsFollowModelsAndSettings() {
  QFETCH(QString, profile);
  QFETCH(bool, gpuFrequency);
  QFETCH(double, cpuEnergy);
  QFETCH(QVariantMap, unread);
  QFETCH(QStringList, power);
  QFETCH(QStringList, powerTips);
  QFETCH(QStringList, frequency);
  QFETCH(int, frequencyCurves);
  QFETCH(int, powerCurves);
  Window w(profile);
  // Before the first sample no legend shows a figure: the models' zeros are not readings.
  for (int i = 0; i < 4; ++i)
    for (const QString& text : w.legend(i))
      QVERIFY2(text.endsWith("=\u2013") || text == "DRAM=N/A", qPrintable(text));
  w.feed(sample(cpuEnergy, 0, unread), 3);
  // The setting is read live: turning it on adds the entry and the curve, off removes both.
  w.defaults.setValue(defaults::kGPUFrequency, gpuFrequency);
  QCOMPARE(w.legend(0), power);
  QStringList tips;
  for (const LegendEntry* entry : w.module(0).legend()->entries()) {
    tips << entry->toolTip();
    // Drawn whole: the name at its size, the figure at the size it is drawn at.
    const LegendEntryLayout layout = entry->entryLayout();
    const QString label = qobject_cast<const GraphSingleLineTitle*>(entry)->label();
    QVERIFY(QFontMetricsF(LegendEntry::labelFont()).horizontalAdvance(label) <=
            layout.label.width() + 0.01);
    const QFont font =
        LegendEntry::fittedFont(LegendEntry::valueFont(), entry->value(), layout.value.width());
    QVERIFY(QFontMetricsF(font).horizontalAdvance(entry->value()) <= layout.value.width() + 0.01);
  }
  QCOMPARE(tips, powerTips);
  QCOMPARE(w.legend(1), frequency);
  QCOMPARE(w.module(1).graph()->datas().size(), frequencyCurves);
  QCOMPARE(w.module(0).graph()->datas().size(), powerCurves);
  for (const GraphData& curve : w.module(0).graph()->datas())
    QCOMPARE(curve.data.size(), 3);
  // Turning the setting over adds or removes the GPU entry, where the machine has a GPU.
  const int gpu = gpuFrequency ? -int(frequency.filter("GPU=").size()) : 1;
  w.defaults.setValue(defaults::kGPUFrequency, !gpuFrequency);
  QCOMPARE(w.legend(1).size(), frequency.size() + gpu);
  QCOMPARE(w.module(1).graph()->datas().size(), frequencyCurves + gpu);
}

void LegendsTest::linuxWithoutSensorsOrCountersShowsNoMarkers() {
  // A virtual machine: no temperature sensor, no power counter, as the Linux sampler reports it.
  Window w("linux:vm-minimal");
  QVariantMap unread;
  for (const char* entry :
       {"cpu_energy", "package_energy", "combined_power", "dram_energy", "gpu_energy"})
    unread[entry] = "no zone";
  w.feed(sample(0, 0, unread), 2);
  QCOMPARE(w.legend(0), (QStringList{"PKG=N/A", "CPU=N/A", "DRAM=N/A", "GPU=N/A"}));
  QVERIFY(w.module(0).graph()->datas().isEmpty());  // no flat line at 0 W
  for (const LegendEntry* entry : w.module(2).legend()->entries())
    QCOMPARE(entry->value(), QString("\u2013"));
  // Cores of one kind and no GPU: P-cores only, whatever the GPU settings say.
  w.defaults.setValue(defaults::kShowEPUtilization, true);
  w.defaults.setValue(defaults::kGPUFrequency, true);
  w.defaults.setValue(defaults::kGPUUtilization, true);
  for (int i : {1, 3}) {
    QCOMPARE(w.legend(i).size(), 1);
    QVERIFY(w.legend(i).at(0).startsWith("P-CORE="));
    QCOMPARE(w.module(i).graph()->datas().size(), 1);
  }
  for (int i = 0; i < 4; ++i)
    for (const QString& text : w.legend(i))
      QVERIFY2(!text.contains("-1"), qPrintable(text));
}

QTEST_MAIN(LegendsTest)
#include "LegendsTest.moc"
