#include "app/ui/ModuleViews.h"

#include "app/model/GeneralModel.h"
#include "app/ui/ModuleViewFrequency.h"
#include "app/ui/ModuleViewPower.h"
#include "app/ui/ModuleViewTemperature.h"
#include "app/ui/ModuleViewUtilization.h"

QList<ModuleView*> ModuleViews::create(GeneralModel& model, UserDefaults& defaults) {
  const bool isOS13OrLater = model.modelPowerMetrics().isOS13OrLater();
  return {new ModuleViewPower(model.modelPower(), isOS13OrLater, &model.modelPowerMetrics()),
          new ModuleViewFrequency(model.modelFrequency(), defaults),
          new ModuleViewTemperature(model.modelTemperature(), defaults),
          new ModuleViewUtilization(model.modelUtilization(), defaults)};
}
