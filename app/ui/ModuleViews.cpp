#include "app/ui/ModuleViews.h"

#include "app/metrics/sysinfo/ModuleModelMainTitle.h"
#include "app/model/GeneralModel.h"
#include "app/ui/ModuleViewFrequency.h"
#include "app/ui/ModuleViewPower.h"
#include "app/ui/ModuleViewTemperature.h"
#include "app/ui/ModuleViewUtilization.h"

QList<ModuleView*> ModuleViews::create(GeneralModel& model, UserDefaults& defaults) {
  const bool isOS13OrLater = model.modelPowerMetrics().isOS13OrLater();
  // The title's count, so the cards and the title describe the same machine.
  const bool hasECores = model.modelMainTitle().numberOfECore() > 0;
  const bool hasGPU = model.modelMainTitle().hasGPU();
  return {new ModuleViewPower(model.modelPower(), isOS13OrLater),
          new ModuleViewFrequency(model.modelFrequency(), defaults, hasECores, hasGPU),
          new ModuleViewTemperature(model.modelTemperature(), defaults),
          new ModuleViewUtilization(model.modelUtilization(), defaults, hasECores, hasGPU)};
}
