#include "app/ui/ModuleViewUtilization.h"

#include "app/core/UserDefaults.h"
#include "app/metrics/ModuleModelUtilization.h"

ModuleTitleRow ModuleViewUtilizationStatic::title() {
  return {QStringLiteral("Utilization"), QStringLiteral("%"),
          QStringLiteral("Utilization as percentage. Data from sysctl")};
}

QString ModuleViewUtilizationDynamic::percent(double fraction) {
  return ModuleRows::format(fraction < 1.0 ? "%.2f" : "%.1f", fraction * 100);
}

ModuleBodyRows ModuleViewUtilizationDynamic::rows() const {
  using ModuleRows::latest;
  using ModuleRows::series;
  // A dash before the first sample: the model's zeros are not readings.
  const auto entry = [](const char* label, double fraction, const History& history,
                        ThemedColor color, qreal width) -> LegendRow {
    return {label, {}, percent(latest(fraction, history)), color, width};
  };
  ModuleBodyRows body;
  if (showEPUtilization) {
    if (hasECores)
      body.legend.append(
          entry("E-CORE", model.eutilization(), model.historice(), NamedColor::Blue, 90));
    body.legend.append(
        entry("P-CORE", model.putilization(), model.historicp(), NamedColor::Cyan, 90));
  } else {
    body.legend = {entry("CORE", model.utilization(), model.historic(), kCoreColor, 75)};
  }
  if (gpuUtilization && hasGPU)
    body.legend.append(
        entry("GPU", model.utilizationGPU(), model.historicGPU(), NamedColor::Pink, 70));
  body.axisLabels = {"100", "80", "60", "40", "20", "0"};
  const auto same = [](double fraction) { return fraction; };
  if (gpuUtilization && hasGPU)
    body.datas.append(series(model.historicGPU(), NamedColor::Pink, same));
  if (showEPUtilization) {
    if (hasECores) body.datas.append(series(model.historice(), NamedColor::Blue, same));
    body.datas.append(series(model.historicp(), NamedColor::Cyan, same));
  } else {
    body.datas.append(series(model.historic(), kCoreColor, same));
  }
  return body;
}

ModuleViewUtilization::ModuleViewUtilization(const ModuleModelUtilization& model,
                                             UserDefaults& defaults, bool hasECores, bool hasGPU,
                                             QWidget* parent)
    : ModuleView(ModuleViewUtilizationStatic::kHeight, 10, parent),
      model_(model),
      defaults_(defaults),
      hasECores_(hasECores),
      hasGPU_(hasGPU) {
  watch(model_);
  refresh();
}

ModuleBodyRows ModuleViewUtilization::bodyRows() const {
  return ModuleViewUtilizationDynamic{model_, defaults_.showEPUtilization(),
                                      defaults_.gpuUtilization(), hasECores_, hasGPU_}
      .rows();
}
