#include "app/ui/ModuleViewTemperature.h"

#include <cmath>
#include <limits>

#include "app/core/UserDefaults.h"
#include "app/metrics/ModuleModelTemperature.h"

namespace {

// "%.1f" from 100 up keeps the average as wide as "%.2f" below it.
QString average(double value) {
  return ModuleRows::format(value >= 100 ? "%.1f" : "%.2f", value);
}

}  // namespace

ModuleTitleRow ModuleViewTemperatureStatic::title() const {
  if (celsius) {
    return {QStringLiteral("Temperature"), QStringLiteral("\u2103"),
            QStringLiteral("Temperature in Degrees Celcius. Data from SMC/IOHIDService")};
  }
  return {QStringLiteral("Temperature"), QStringLiteral("\u2109"),
          QStringLiteral("Temperature in Degrees Fahrenheit. Data from SMC/IOHIDService")};
}

QList<int> ModuleViewTemperatureDynamic::scale(bool celsius) {
  if (celsius) return {120, 100, 80, 60, 40, 20};
  return {250, 215, 180, 145, 110, 75};
}

double ModuleViewTemperatureDynamic::display(double celsius, bool inCelsius) {
  // -1 is the model's "no sensor", not a temperature: converted it would pass for 30 °F.
  if (celsius == kNoReading || !std::isfinite(celsius))
    return std::numeric_limits<double>::quiet_NaN();
  return inCelsius ? celsius : celsius * 9 / 5 + 32;
}

ModuleBodyRows ModuleViewTemperatureDynamic::rows() const {
  using ModuleRows::format;
  using ModuleRows::latest;
  using ModuleRows::series;
  const bool c = celsius;
  ModuleBodyRows body;
  // The latest value in the display unit; a dash before the first sample, as for no sensor.
  const auto shown = [c](double celsius, const History& history) {
    return display(latest(celsius, history), c);
  };
  body.legend = {
      {"CORE", "AVG", average(shown(model.CPUAvg(), model.historicCPUAvg())), NamedColor::Cyan, 85},
      {"CORE", "MAX", format("%.0f", shown(model.CPUMax(), model.historicCPUMax())),
       NamedColor::Blue, 65},
      {"CORE", "MIN", format("%.0f", shown(model.CPUMin(), model.historicCPUMin())),
       NamedColor::Purple, 65},
      {"GPU", "AVG", average(shown(model.GPUAvg(), model.historicGPUAvg())), NamedColor::Pink, 80},
  };
  const QList<int> numbers = scale(c);
  for (int n : numbers)
    body.axisLabels.append(QString::number(n));
  const double high = numbers.first();
  const double low = numbers.last();
  const auto place = [c, high, low](double celsius) {
    return (display(celsius, c) - low) / (high - low);
  };
  body.datas = {series(model.historicCPUMin(), NamedColor::Purple, place),
                series(model.historicCPUMax(), NamedColor::Blue, place),
                series(model.historicCPUAvg(), NamedColor::Cyan, place),
                series(model.historicGPUAvg(), NamedColor::Pink, place)};
  return body;
}

ModuleViewTemperature::ModuleViewTemperature(const ModuleModelTemperature& model,
                                             UserDefaults& defaults, QWidget* parent)
    : ModuleView(ModuleViewTemperatureStatic::kHeight, 16, parent),
      model_(model),
      defaults_(defaults) {
  watch(model_);
  refresh();
}

bool ModuleViewTemperature::celsius() const {
  return defaults_.temperatureUnit() == 0;
}

ModuleTitleRow ModuleViewTemperature::titleRow() const {
  return ModuleViewTemperatureStatic{celsius()}.title();
}

ModuleBodyRows ModuleViewTemperature::bodyRows() const {
  return ModuleViewTemperatureDynamic{model_, celsius()}.rows();
}
