// The frequency module: E-core, P-core and, when "gpuFrequency" is on, GPU frequency in GHz on a
// fixed 0 to 4 GHz scale. A machine without efficiency cores shows no E-core entry or curve: the
// sampler has no figure for them, and a 0.00 would read as a core that stands still. A machine
// without a GPU shows no GPU entry or curve whatever the setting says, for the same reason.
//
// ModuleViewFrequencyStatic and ModuleViewFrequencyDynamic turn the model and the setting into
// the module's rows; ModuleViewFrequency is the card, refreshed on every change of the model or
// of the settings. Main thread only.
#pragma once

#include "app/ui/ModuleRows.h"
#include "app/ui/ModuleView.h"

class ModuleModelFrequency;
class UserDefaults;

struct ModuleViewFrequencyStatic {
  static constexpr qreal kHeight = 160;
  static ModuleTitleRow title();
};

struct ModuleViewFrequencyDynamic {
  const ModuleModelFrequency& model;
  bool gpuFrequency;      // the setting, read when the rows are built
  bool hasECores = true;  // the title's count of efficiency cores is above 0
  bool hasGPU = true;     // the title names a GPU: without one "gpuFrequency" adds nothing

  ModuleBodyRows rows() const;
};

class ModuleViewFrequency : public ModuleView {
  Q_OBJECT

 public:
  ModuleViewFrequency(const ModuleModelFrequency& model, UserDefaults& defaults,
                      bool hasECores = true, bool hasGPU = true, QWidget* parent = nullptr);

 protected:
  ModuleTitleRow titleRow() const override { return ModuleViewFrequencyStatic::title(); }
  ModuleBodyRows bodyRows() const override;

 private:
  const ModuleModelFrequency& model_;
  UserDefaults& defaults_;
  const bool hasECores_;
  const bool hasGPU_;
};
