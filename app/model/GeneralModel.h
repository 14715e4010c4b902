// The root model: one instance for the whole run, built on first access, that creates and owns
// every other model and ties them to the helper manager.
//
// Members are created in this order and never replaced:
//    1. logfileModel        CSV log recorder
//    2. modelPowerMetrics   sample store
//    3. xpcmanager          helper manager and its link
//    4. modelPower
//    5. modelFrequency
//    6. modelTemperature
//    7. modelUtilization
//    8. modelMainTitle
//    9. modelMoreButton     the more-button menu's refresh
//   10. sparkle             updater bridge
// then the manager's delegate slots are filled (more button, sample store, utilization) and the
// telemetry start request is sent, last.
//
// Threads: built, used and (outside the shared instance) destroyed on the main thread.
#pragma once

#include <memory>
#include <string>

#include "app/helperlink/HelperInstaller.h"
#include "app/helperlink/HelperLocations.h"
#include "app/helperlink/XPCManager.h"
#include "app/log/LogFileModel.h"
#include "app/metrics/ModuleModelFrequency.h"
#include "app/metrics/ModuleModelPower.h"
#include "app/metrics/ModuleModelTemperature.h"
#include "app/metrics/ModuleModelUtilization.h"
#include "app/metrics/SGPowerMetrics.h"
#include "app/metrics/sysinfo/ModuleModelMainTitle.h"
#include "app/model/ModuleModelMoreButton.h"
#include "app/update/SparkleBridge.h"
#include "platform/Platform.h"

class UserDefaults;
namespace telemetry {
class MatomoTracker;
}

class GeneralModel {
 public:
  // What the root model is built from. shared() takes them from the process: the platform chosen
  // at start, the user's defaults, the system installer and the helper copy's usual place.
  struct Environment {
    platform::Platform* platform = nullptr;
    UserDefaults* defaults = nullptr;
    std::unique_ptr<helperlink::HelperInstaller> installer;
    helperlink::HelperLocations locations;
    // Asked to send the start request at the end of construction; null sends none (tests).
    telemetry::MatomoTracker* tracker = nullptr;
    static Environment fromProcess();
  };

  // The one instance, built on first access (after the QCoreApplication exists) and never
  // released.
  static GeneralModel& shared();

  explicit GeneralModel(Environment environment);
  ~GeneralModel();
  GeneralModel(const GeneralModel&) = delete;
  GeneralModel& operator=(const GeneralModel&) = delete;

  // The processor type the helper manager and the content model act on: exactly "ARM" where
  // this platform can sample.
  const std::string& processorType() const { return processorType_; }
  // Whether the platform stands for macOS 13 or later (Linux counts as earlier).
  bool isOS13OrLater() const { return isOS13OrLater_; }

  LogFileModel& logfileModel() { return *logfileModel_; }
  SGPowerMetrics& modelPowerMetrics() { return *modelPowerMetrics_; }
  helperlink::XPCManager& xpcmanager() { return *xpcmanager_; }
  ModuleModelPower& modelPower() { return *modelPower_; }
  ModuleModelFrequency& modelFrequency() { return *modelFrequency_; }
  ModuleModelTemperature& modelTemperature() { return *modelTemperature_; }
  ModuleModelUtilization& modelUtilization() { return *modelUtilization_; }
  ModuleModelMainTitle& modelMainTitle() { return *modelMainTitle_; }
  ModuleModelMoreButton& modelMoreButton() { return *modelMoreButton_; }
  SparkleBridge& sparkle() { return *sparkle_; }

  // What one log row records: the values the module models have just set.
  LogRowValues logRowValues() const;

  // Link actions of the Help menu and the more-button menu. Each opens its fixed address with the
  // desktop's handler; an address that does not parse is ignored.
  static void contactDeveloper();
  static void openOtherProductPage();
  static void followOnTwitter();
  static void followOnMastodon();
  static void donate5();
  static void donate10();
  static void donate15();
  static void donate20();

 private:
  const std::string processorType_;
  const bool isOS13OrLater_;

  std::unique_ptr<LogFileModel> logfileModel_;                // 1
  std::unique_ptr<SGPowerMetrics> modelPowerMetrics_;         // 2
  std::unique_ptr<helperlink::XPCManager> xpcmanager_;        // 3
  std::unique_ptr<ModuleModelPower> modelPower_;              // 4
  std::unique_ptr<ModuleModelFrequency> modelFrequency_;      // 5
  std::unique_ptr<ModuleModelTemperature> modelTemperature_;  // 6
  std::unique_ptr<ModuleModelUtilization> modelUtilization_;  // 7
  std::unique_ptr<ModuleModelMainTitle> modelMainTitle_;      // 8
  std::shared_ptr<ModuleModelMoreButton> modelMoreButton_;    // 9
  std::unique_ptr<SparkleBridge> sparkle_;                    // 10
};
