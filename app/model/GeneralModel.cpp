#include "app/model/GeneralModel.h"

#include <filesystem>

#include "app/core/UserDefaults.h"
#include "app/helperlink/PkexecInstaller.h"
#include "app/metrics/sysinfo/SGSystemInfo.h"
#include "app/model/Links.h"
#include "app/telemetry/MatomoTracker.h"
#include "platform/ToolLocator.h"

namespace {

// The installer and the sampler it installs come from where the helper copy in use lies: beside
// it in an installed tree, or where this build put them when the copy is the build tree's.
helperlink::PkexecPaths installerPaths(const helperlink::HelperLocations& locations) {
  helperlink::PkexecPaths p = helperlink::installedPkexecPaths();
  p.helperCopy = locations.helperCopy();
  if (p.helperCopy == FERROLUX_BUILD_HELPER && platform::runsFromBuildTree()) {
    p.bless = FERROLUX_BUILD_BLESS;
    p.sampler = FERROLUX_BUILD_SAMPLER;
  } else {
    const std::filesystem::path dir = std::filesystem::path(p.helperCopy).parent_path();
    p.bless = (dir / "ferrolux-bless").string();
    p.sampler = (dir / "powermetrics").string();
  }
  return p;
}

// The update check compares with this build and, where the platform stands for a Mac, skips
// releases outside their system version bounds.
update::Updater::Configuration updaterConfiguration(platform::Platform& platform,
                                                    UserDefaults* defaults) {
  update::Updater::Configuration c;
  c.host = BundleInfo::application();
  c.feedURL = update::Updater::builtInFeedURL();
  c.defaults = defaults;
  if (platform.osVersion() != platform::OSVersion{}) c.systemVersion = platform.osVersion();
  return c;
}

}  // namespace

GeneralModel::Environment GeneralModel::Environment::fromProcess() {
  Environment e;
  e.platform = &platform::current();
  e.defaults = &UserDefaults::standard();
  e.installer = std::make_unique<helperlink::PkexecInstaller>(installerPaths(e.locations));
  e.tracker = &telemetry::MatomoTracker::shared();
  return e;
}

GeneralModel& GeneralModel::shared() {
  // Deliberately never destroyed: the models outlive the event loop, and nothing at process exit
  // must run their destructors after the application object is gone.
  static GeneralModel* const instance = new GeneralModel(Environment::fromProcess());
  return *instance;
}

GeneralModel::GeneralModel(Environment env)
    : processorType_(SGSystemInfo::gatedProcessorType(*env.platform)),
      isOS13OrLater_(env.platform->isOSAtLeast(13)),
      logfileModel_(std::make_unique<LogFileModel>(*env.defaults)),
      modelPowerMetrics_(std::make_unique<SGPowerMetrics>(isOS13OrLater_, *env.defaults)),
      xpcmanager_(std::make_unique<helperlink::XPCManager>(processorType_, std::move(env.installer),
                                                           std::move(env.locations))),
      modelPower_(std::make_unique<ModuleModelPower>(*modelPowerMetrics_, isOS13OrLater_)),
      modelFrequency_(std::make_unique<ModuleModelFrequency>(*modelPowerMetrics_)),
      modelTemperature_(std::make_unique<ModuleModelTemperature>(*env.platform)),
      modelUtilization_(
          std::make_unique<ModuleModelUtilization>(*modelPowerMetrics_, *env.platform)),
      modelMainTitle_(std::make_unique<ModuleModelMainTitle>(*env.platform)),
      modelMoreButton_(ModuleModelMoreButton::create()),
      sparkle_(std::make_unique<SparkleBridge>(updaterConfiguration(*env.platform, env.defaults))) {
  SGPowerMetrics& store = *modelPowerMetrics_;
  store.setHelperLink(xpcmanager_->powerMetricsLink());
  // The store runs these in its own fixed order (power, utilization, frequency, temperature,
  // log row); the log row reads what the four models have just set.
  using Step = SGPowerMetrics::Step;
  store.setModuleUpdate(Step::Power, [power = modelPower_.get()] { power->update(); });
  store.setModuleUpdate(Step::Utilization,
                        [utilization = modelUtilization_.get()] { utilization->update(); });
  store.setModuleUpdate(Step::Frequency,
                        [frequency = modelFrequency_.get()] { frequency->update(); });
  store.setModuleUpdate(Step::Temperature,
                        [temperature = modelTemperature_.get()] { temperature->update(); });
  store.setModuleUpdate(Step::LogRow, [log = logfileModel_.get()] { log->addRow(); });
  logfileModel_->setRowSource([this] { return logRowValues(); });

  // The manager's delegate slots, in this order: more button, sample store, utilization model.
  xpcmanager_->setMorebuttonModelDelegate(modelMoreButton_);
  xpcmanager_->setPowerMetricsModelDelegate(modelPowerMetrics_.get());
  xpcmanager_->setUtilizationModelDelegate(modelUtilization_.get());

  if (env.tracker) env.tracker->track();
}

GeneralModel::~GeneralModel() = default;

LogRowValues GeneralModel::logRowValues() const {
  LogRowValues v;
  v.pkgPower = modelPower_->PKGEnergy();
  v.cpuPower = modelPower_->CPUEnergy();
  v.dramPower = modelPower_->DRAMEnergy();
  v.gpuPower = modelPower_->GPUEnergy();
  v.eCoreFrequency = modelFrequency_->ECore();
  v.pCoreFrequency = modelFrequency_->PCore();
  v.gpuFrequency = modelFrequency_->GPU();
  v.cpuMinTemperature = modelTemperature_->CPUMin();
  v.cpuAvgTemperature = modelTemperature_->CPUAvg();
  v.cpuMaxTemperature = modelTemperature_->CPUMax();
  v.gpuAvgTemperature = modelTemperature_->GPUAvg();
  v.utilization = modelUtilization_->utilization();
  v.eutilization = modelUtilization_->eutilization();
  v.putilization = modelUtilization_->putilization();
  v.utilizationGPU = modelUtilization_->utilizationGPU();
  return v;
}

void GeneralModel::contactDeveloper() {
  links::openLink(links::contactDeveloper());
}
void GeneralModel::openOtherProductPage() {
  links::openLink(links::otherProductPage());
}
void GeneralModel::followOnTwitter() {
  links::openLink(links::twitterProfile());
}
void GeneralModel::followOnMastodon() {
  links::openLink(links::mastodonProfile());
}
void GeneralModel::donate5() {
  links::openLink(links::donation(5));
}
void GeneralModel::donate10() {
  links::openLink(links::donation(10));
}
void GeneralModel::donate15() {
  links::openLink(links::donation(15));
}
void GeneralModel::donate20() {
  links::openLink(links::donation(20));
}
