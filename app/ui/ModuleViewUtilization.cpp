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
  using ModuleRows::series;
  ModuleBodyRows body;
  if (showEPUtilization) {
    if (hasECores)
      body.legend.append({"E-CORE", {}, percent(model.eutilization()), NamedColor::Blue, 90});
    body.legend.append({"P-CORE", {}, percent(model.putilization()), NamedColor::Cyan, 90});
  } else {
    body.legend = {{"CORE", {}, percent(model.utilization()), kCoreColor, 75}};
  }
  if (gpuUtilization)
    body.legend.append({"GPU", {}, percent(model.utilizationGPU()), NamedColor::Pink, 70});
  body.axisLabels = {"100", "80", "60", "40", "20", "0"};
  const auto same = [](double fraction) { return fraction; };
  if (gpuUtilization) body.datas.append(series(model.historicGPU(), NamedColor::Pink, same));
  if (showEPUtilization) {
    if (hasECores) body.datas.append(series(model.historice(), NamedColor::Blue, same));
    body.datas.append(series(model.historicp(), NamedColor::Cyan, same));
  } else {
    body.datas.append(series(model.historic(), kCoreColor, same));
  }
  return body;
}

ModuleViewUtilization::ModuleViewUtilization(const ModuleModelUtilization& model,
                                             UserDefaults& defaults, bool hasECores,
                                             QWidget* parent)
    : ModuleView(ModuleViewUtilizationStatic::kHeight, 10, parent),
      model_(model),
      defaults_(defaults),
      hasECores_(hasECores) {
  watch(model_);
  refresh();
}

ModuleBodyRows ModuleViewUtilization::bodyRows() const {
  return ModuleViewUtilizationDynamic{model_, defaults_.showEPUtilization(),
                                      defaults_.gpuUtilization(), hasECores_}
      .rows();
}
