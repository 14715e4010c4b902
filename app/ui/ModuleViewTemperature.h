// The temperature module: CPU average, maximum and minimum and GPU average, in degrees Celsius
// or Fahrenheit as "temperatureUnit" says (0 is Celsius), on a fixed scale of the unit.
//
// ModuleViewTemperatureStatic and ModuleViewTemperatureDynamic turn the model and the setting
// into the module's rows; ModuleViewTemperature is the card. Main thread only.
#pragma once

#include "app/ui/ModuleRows.h"
#include "app/ui/ModuleView.h"

class ModuleModelTemperature;
class UserDefaults;

struct ModuleViewTemperatureStatic {
  static constexpr qreal kHeight = 140;
  bool celsius;

  ModuleTitleRow title() const;
};

struct ModuleViewTemperatureDynamic {
  const ModuleModelTemperature& model;
  bool celsius;

  // The scale of the unit, top first; its first and last numbers are the graph's high and low.
  static QList<int> scale(bool celsius);
  // What the model stores for a minimum or maximum without any CPU reading.
  static constexpr double kNoReading = -1.0;
  // A model value (Celsius) in the display unit; not a number for kNoReading and for a value
  // that is not one, so the legend shows a dash and the curve a gap.
  static double display(double celsius, bool inCelsius);

  ModuleBodyRows rows() const;
};

class ModuleViewTemperature : public ModuleView {
  Q_OBJECT

 public:
  ModuleViewTemperature(const ModuleModelTemperature& model, UserDefaults& defaults,
                        QWidget* parent = nullptr);

 protected:
  ModuleTitleRow titleRow() const override;
  ModuleBodyRows bodyRows() const override;

 private:
  bool celsius() const;

  const ModuleModelTemperature& model_;
  UserDefaults& defaults_;
};
