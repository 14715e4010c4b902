// The power module: package, CPU, DRAM and GPU power in watts over the model's own scale.
//
// ModuleViewPowerStatic and ModuleViewPowerDynamic are plain values that turn the model into the
// module's rows; ModuleViewPower is the card that shows them and refreshes on every change of
// the model. Main thread only.
#pragma once

#include "app/ui/ModuleRows.h"
#include "app/ui/ModuleView.h"

class ModuleModelPower;

struct ModuleViewPowerStatic {
  static constexpr qreal kHeight = 160;
  static ModuleTitleRow title();
};

struct ModuleViewPowerDynamic {
  const ModuleModelPower& model;
  bool isOS13OrLater;  // the sampler has no DRAM figure there: the legend says "N/A"
  // A domain the sampler gave a reason for (the model's unreadReason) says "N/A" with the reason
  // as its tooltip; one the model marks as not reported says "N/A" too, as not reported by the
  // sampler. Neither kind draws a curve: the model fills its history with stand-in zeros.

  // The tooltip for an entry the sampler gave `reason` for.
  static QString unreadHelp(const QString& reason);

  ModuleBodyRows rows() const;
};

class ModuleViewPower : public ModuleView {
  Q_OBJECT

 public:
  ModuleViewPower(const ModuleModelPower& model, bool isOS13OrLater, QWidget* parent = nullptr);

 protected:
  ModuleTitleRow titleRow() const override { return ModuleViewPowerStatic::title(); }
  ModuleBodyRows bodyRows() const override;

 private:
  const ModuleModelPower& model_;
  const bool isOS13OrLater_;
};
