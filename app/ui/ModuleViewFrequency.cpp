#include "app/ui/ModuleViewFrequency.h"

#include "app/core/UserDefaults.h"
#include "app/metrics/ModuleModelFrequency.h"

ModuleTitleRow ModuleViewFrequencyStatic::title() {
  return {QStringLiteral("Frequency"), QStringLiteral("GHZ"),
          QStringLiteral("Frequency in Gigahertz. Data from powermetrics")};
}

ModuleBodyRows ModuleViewFrequencyDynamic::rows() const {
  using ModuleRows::format;
  using ModuleRows::series;
  ModuleBodyRows body;
  if (hasECores)
    body.legend.append({"E-CORE", {}, format("%.2f", model.ECore()), NamedColor::Blue, 80});
  body.legend.append({"P-CORE", {}, format("%.2f", model.PCore()), NamedColor::Cyan, 80});
  if (gpuFrequency)
    body.legend.append({"GPU", {}, format("%.2f", model.GPU()), NamedColor::Pink, 65});
  body.axisLabels = {"4.0", "3.0", "2.0", "1.0", "0.0"};
  const auto scale = [](double ghz) { return ghz * 0.25; };
  body.datas = {series(model.historicPCore(), NamedColor::Cyan, scale)};
  if (hasECores) body.datas.append(series(model.historicECore(), NamedColor::Blue, scale));
  if (gpuFrequency) body.datas.append(series(model.historicGPU(), NamedColor::Pink, scale));
  return body;
}

ModuleViewFrequency::ModuleViewFrequency(const ModuleModelFrequency& model, UserDefaults& defaults,
                                         bool hasECores, QWidget* parent)
    : ModuleView(ModuleViewFrequencyStatic::kHeight, 10, parent),
      model_(model),
      defaults_(defaults),
      hasECores_(hasECores) {
  watch(model_);
  refresh();
}

ModuleBodyRows ModuleViewFrequency::bodyRows() const {
  return ModuleViewFrequencyDynamic{model_, defaults_.gpuFrequency(), hasECores_}.rows();
}
