#include "app/ui/ModuleViewPower.h"

#include "app/metrics/ModuleModelPower.h"
#include "app/metrics/SGPowerMetrics.h"

ModuleTitleRow ModuleViewPowerStatic::title() {
  return {QStringLiteral("Power"), QStringLiteral("WATTS"),
          QStringLiteral("Power in Watts. Data from powermetrics")};
}

QHash<QString, QString> ModuleViewPowerDynamic::unreadEnergy(const plist::Value& document) {
  QHash<QString, QString> unread;
  if (const plist::Dict* entries = document["processor"]["unread_energy"].dict()) {
    for (const auto& [entry, why] : *entries) {
      const std::string* text = why.string();
      unread.insert(QString::fromStdString(entry),
                    text ? QString::fromStdString(*text) : QString());
    }
  }
  return unread;
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
  using ModuleRows::series;
  using Domain = ModuleModelPower::Domain;
  const auto entry = [this](const char* label, const char* key, Domain domain, double watts,
                            NamedColor color, qreal width) -> LegendRow {
    // The sampler's own reason where it gives one; a Mac's sampler never does.
    const auto reason = unread.constFind(QLatin1String(key));
    if (reason != unread.cend())
      return {label, {}, QStringLiteral("N/A"), color, width, unreadHelp(*reason)};
    if (!model.isReported(domain))
      return {label, {}, QStringLiteral("N/A"), color, width, unreadHelp({})};
    return {label, {}, format("%.2f", watts), color, width};
  };
  ModuleBodyRows body;
  body.legend = {
      entry("PKG", isOS13OrLater ? "combined_power" : "package_energy", Domain::PKG,
            model.PKGEnergy(), NamedColor::Blue, 65),
      entry("CPU", "cpu_energy", Domain::CPU, model.CPUEnergy(), NamedColor::Cyan, 65),
      isOS13OrLater
          ? LegendRow{"DRAM",
                      {},
                      QStringLiteral("N/A"),
                      NamedColor::Orange,
                      75,
                      QStringLiteral("Not reported by the sampler on macOS 13 or later")}
          : entry("DRAM", "dram_energy", Domain::DRAM, model.DRAMEnergy(), NamedColor::Orange, 75),
      entry("GPU", "gpu_energy", Domain::GPU, model.GPUEnergy(), NamedColor::Pink, 65),
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

ModuleViewPower::ModuleViewPower(const ModuleModelPower& model, bool isOS13OrLater,
                                 const SGPowerMetrics* store, QWidget* parent)
    : ModuleView(ModuleViewPowerStatic::kHeight, 10, parent),
      model_(model),
      isOS13OrLater_(isOS13OrLater),
      store_(store) {
  watch(model_);
  refresh();
}

ModuleBodyRows ModuleViewPower::bodyRows() const {
  return ModuleViewPowerDynamic{
      model_, isOS13OrLater_,
      store_ ? ModuleViewPowerDynamic::unreadEnergy(store_->data()) : QHash<QString, QString>{}}
      .rows();
}
