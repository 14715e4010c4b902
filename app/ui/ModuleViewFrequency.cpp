#include "app/ui/ModuleViewFrequency.h"

#include "app/core/UserDefaults.h"
#include "app/metrics/ModuleModelFrequency.h"

ModuleTitleRow ModuleViewFrequencyStatic::title() {
  return {QStringLiteral("Frequency"), QStringLiteral("GHZ"),
          QStringLiteral("Frequency in Gigahertz. Data from powermetrics")};
}

ModuleBodyRows ModuleViewFrequencyDynamic::rows() const {
  using ModuleRows::format;
  using ModuleRows::latest;
  using ModuleRows::series;
  // A dash before the first sample: the model's zeros are not readings.
  const auto entry = [](const char* label, double ghz, const History& history, NamedColor color,
                        qreal width) -> LegendRow {
    return {label, {}, format("%.2f", latest(ghz, history)), color, width};
  };
  ModuleBodyRows body;
  if (hasECores)
    body.legend.append(entry("E-CORE", model.ECore(), model.historicECore(), NamedColor::Blue, 80));
  body.legend.append(entry("P-CORE", model.PCore(), model.historicPCore(), NamedColor::Cyan, 80));
  if (gpuFrequency && hasGPU)
    body.legend.append(entry("GPU", model.GPU(), model.historicGPU(), NamedColor::Pink, 65));
  body.axisLabels = {"4.0", "3.0", "2.0", "1.0", "0.0"};
  const auto scale = [](double ghz) { return ghz * 0.25; };
  body.datas = {series(model.historicPCore(), NamedColor::Cyan, scale)};
  if (hasECores) body.datas.append(series(model.historicECore(), NamedColor::Blue, scale));
  if (gpuFrequency && hasGPU)
    body.datas.append(series(model.historicGPU(), NamedColor::Pink, scale));
  return body;
}

ModuleViewFrequency::ModuleViewFrequency(const ModuleModelFrequency& model, UserDefaults& defaults,
                                         bool hasECores, bool hasGPU, QWidget* parent)
    : ModuleView(ModuleViewFrequencyStatic::kHeight, 10, parent),
      model_(model),
      defaults_(defaults),
      hasECores_(hasECores),
      hasGPU_(hasGPU) {
  watch(model_);
  refresh();
}

ModuleBodyRows ModuleViewFrequency::bodyRows() const {
  return ModuleViewFrequencyDynamic{model_, defaults_.gpuFrequency(), hasECores_, hasGPU_}.rows();
}
