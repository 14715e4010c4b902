#include "app/ui/ModuleViewPower.h"

#include "app/metrics/ModuleModelPower.h"

ModuleTitleRow ModuleViewPowerStatic::title() {
  return {QStringLiteral("Power"), QStringLiteral("WATTS"),
          QStringLiteral("Power in Watts. Data from powermetrics")};
}

QString ModuleViewPowerDynamic::unreadHelp(const QString& reason) {
  if (reason == QLatin1String("no zone"))
    return QStringLiteral("Not measured on this machine: it has no power counter for this domain");
  if (reason == QLatin1String("permission")) {
    return QStringLiteral(
        "Needs the installed helper: only root may read this machine's power counters");
  }
  return QStringLiteral("Not reported by the sampler");
}

ModuleBodyRows ModuleViewPowerDynamic::rows() const {
  using ModuleRows::format;
  using ModuleRows::latest;
  using ModuleRows::series;
  using Domain = ModuleModelPower::Domain;
  // Why `domain` has no figure, or a null string when it has one: the sampler's own reason where
  // it gives one (a Mac's sampler never does), else the model's "not reported".
  const auto missing = [this](Domain domain) -> QString {
    if (const auto& reason = model.unreadReason(domain))
      return unreadHelp(QString::fromStdString(*reason));
    return model.isReported(domain) ? QString() : unreadHelp({});
  };
  const auto entry = [](const char* label, const QString& why, double watts, NamedColor color,
                        qreal width) -> LegendRow {
    if (!why.isNull()) return {label, {}, QStringLiteral("N/A"), color, width, why};
    return {label, {}, format("%.2f", watts), color, width};
  };
  const QString pkg = missing(Domain::PKG);
  const QString cpu = missing(Domain::CPU);
  const QString dram = missing(Domain::DRAM);
  const QString gpu = missing(Domain::GPU);
  ModuleBodyRows body;
  body.legend = {
      entry("PKG", pkg, latest(model.PKGEnergy(), model.historicPKG()), NamedColor::Blue, 65),
      entry("CPU", cpu, latest(model.CPUEnergy(), model.historicCPU()), NamedColor::Cyan, 65),
      entry(
          "DRAM",
          isOS13OrLater ? QStringLiteral("Not reported by the sampler on macOS 13 or later") : dram,
          latest(model.DRAMEnergy(), model.historicDRAM()), NamedColor::Orange, 75),
      entry("GPU", gpu, latest(model.GPUEnergy(), model.historicGPU()), NamedColor::Pink, 65),
  };
  body.axisLabels = model.axisLabels();
  const double max = model.axisMaxValue();
  const auto scale = [max](double value) { return value / max; };
  // A domain without a figure has only the model's stand-in zeros: no curve, as a flat line at
  // 0 W would read as a measurement. The DRAM entry's "N/A" from macOS 13 on is the legend's
  // alone: a DRAM figure the sampler does send is still drawn.
  const auto add = [&](const QString& why, const History& history, NamedColor color) {
    if (why.isNull()) body.datas.append(series(history, color, scale));
  };
  add(cpu, model.historicCPU(), NamedColor::Cyan);
  add(pkg, model.historicPKG(), NamedColor::Blue);
  add(dram, model.historicDRAM(), NamedColor::Orange);
  add(gpu, model.historicGPU(), NamedColor::Pink);
  return body;
}

ModuleViewPower::ModuleViewPower(const ModuleModelPower& model, bool isOS13OrLater, QWidget* parent)
    : ModuleView(ModuleViewPowerStatic::kHeight, 10, parent),
      model_(model),
      isOS13OrLater_(isOS13OrLater) {
  watch(model_);
  refresh();
}

ModuleBodyRows ModuleViewPower::bodyRows() const {
  return ModuleViewPowerDynamic{model_, isOS13OrLater_}.rows();
}
