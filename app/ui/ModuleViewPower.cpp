#include "app/ui/ModuleViewPower.h"

#include "app/metrics/ModuleModelPower.h"

ModuleTitleRow ModuleViewPowerStatic::title() {
  return {QStringLiteral("Power"), QStringLiteral("WATTS"),
          QStringLiteral("Power in Watts. Data from powermetrics")};
}

ModuleBodyRows ModuleViewPowerDynamic::rows() const {
  using ModuleRows::format;
  using ModuleRows::series;
  ModuleBodyRows body;
  body.legend = {
      {"PKG", {}, format("%.2f", model.PKGEnergy()), NamedColor::Blue, 65},
      {"CPU", {}, format("%.2f", model.CPUEnergy()), NamedColor::Cyan, 65},
      {"DRAM",
       {},
       isOS13OrLater ? QStringLiteral("N/A") : format("%.2f", model.DRAMEnergy()),
       NamedColor::Orange,
       75},
      {"GPU", {}, format("%.2f", model.GPUEnergy()), NamedColor::Pink, 65},
  };
  body.axisLabels = model.axisLabels();
  const double max = model.axisMaxValue();
  const auto scale = [max](double value) { return value / max; };
  body.datas = {series(model.historicCPU(), NamedColor::Cyan, scale),
                series(model.historicPKG(), NamedColor::Blue, scale),
                series(model.historicDRAM(), NamedColor::Orange, scale),
                series(model.historicGPU(), NamedColor::Pink, scale)};
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
