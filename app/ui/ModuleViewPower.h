// The power module: package, CPU, DRAM and GPU power in watts over the model's own scale.
//
// ModuleViewPowerStatic and ModuleViewPowerDynamic are plain values that turn the model into the
// module's rows; ModuleViewPower is the card that shows them and refreshes on every change of
// the model. Main thread only.
#pragma once

#include <QHash>

#include "app/ui/ModuleRows.h"
#include "app/ui/ModuleView.h"
#include "shared/plist/Plist.h"

class ModuleModelPower;
class SGPowerMetrics;

struct ModuleViewPowerStatic {
  static constexpr qreal kHeight = 160;
  static ModuleTitleRow title();
};

struct ModuleViewPowerDynamic {
  const ModuleModelPower& model;
  bool isOS13OrLater;  // the sampler has no DRAM figure there: the legend says "N/A"
  // The latest document's list of energy entries the sampler could not read, and why (only the
  // Linux sampler writes one): those entries say "N/A" with the reason as their tooltip. A domain
  // the model marks as not reported says "N/A" too, as not reported by the sampler. Neither kind
  // draws a curve: the model fills its history with stand-in zeros.
  QHash<QString, QString> unread = {};

  // The list out of a sampler document; empty when it has none.
  static QHash<QString, QString> unreadEnergy(const plist::Value& document);
  // The tooltip for an entry the sampler gave `reason` for.
  static QString unreadHelp(const QString& reason);

  ModuleBodyRows rows() const;
};

class ModuleViewPower : public ModuleView {
  Q_OBJECT

 public:
  // `store` (may be null) is read for the sampler's list of unread entries.
  ModuleViewPower(const ModuleModelPower& model, bool isOS13OrLater,
                  const SGPowerMetrics* store = nullptr, QWidget* parent = nullptr);

 protected:
  ModuleTitleRow titleRow() const override { return ModuleViewPowerStatic::title(); }
  ModuleBodyRows bodyRows() const override;

 private:
  const ModuleModelPower& model_;
  const bool isOS13OrLater_;
  const SGPowerMetrics* store_;
};
