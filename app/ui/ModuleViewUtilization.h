// The utilization module: CPU utilization as one aggregate series, or E-core and P-core series
// when "showEPUtilization" is on, plus GPU utilization when "gpuUtilization" is on, in percent
// on a fixed 0 to 100 scale. The aggregate series is green, a colour no other module uses, so
// it never reads as the E-core (blue) or P-core (cyan) series or the power module's CPU. A
// machine without efficiency cores shows no E-core entry or curve, and one without a GPU no GPU
// entry or curve: it has nothing to measure.
//
// ModuleViewUtilizationStatic and ModuleViewUtilizationDynamic turn the model and the settings
// into the module's rows; ModuleViewUtilization is the card. Main thread only.
#pragma once

#include "app/ui/ModuleRows.h"
#include "app/ui/ModuleView.h"

class ModuleModelUtilization;
class UserDefaults;

struct ModuleViewUtilizationStatic {
  static constexpr qreal kHeight = 140;
  static ModuleTitleRow title();
};

struct ModuleViewUtilizationDynamic {
  static constexpr NamedColor kCoreColor = NamedColor::Green;

  const ModuleModelUtilization& model;
  bool showEPUtilization;
  bool gpuUtilization;
  bool hasECores = true;  // the title's count of efficiency cores is above 0
  bool hasGPU = true;     // the title names a GPU: without one "gpuUtilization" adds nothing

  // A fraction as percent: "%.2f" below 1.0, "%.1f" from 1.0 up ("50.00", "100.0").
  static QString percent(double fraction);

  ModuleBodyRows rows() const;
};

class ModuleViewUtilization : public ModuleView {
  Q_OBJECT

 public:
  ModuleViewUtilization(const ModuleModelUtilization& model, UserDefaults& defaults,
                        bool hasECores = true, bool hasGPU = true, QWidget* parent = nullptr);

 protected:
  ModuleTitleRow titleRow() const override { return ModuleViewUtilizationStatic::title(); }
  ModuleBodyRows bodyRows() const override;

 private:
  const ModuleModelUtilization& model_;
  UserDefaults& defaults_;
  const bool hasECores_;
  const bool hasGPU_;
};
