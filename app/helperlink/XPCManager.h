// The helper manager: installs, updates and uninstalls the helper, owns the helper link, and
// keeps the three flags from which the rest of the application decides whether it may sample
// and which prompt the main window shows.
//
// Flags:
//   isAuthorized            a current helper is installed and answering; sampling runs only then
//   isUpdateNeeded          the installed helper reported another version than the copy's
//   isRequestedToUninstall  from an uninstall request until the next notifyDelegates
//
// Threads: the manager is created and destroyed on the main thread. Its flags are atomic and may
// be read anywhere. helperDidInstall, helperInstallError and notifyDelegates run on the thread
// that posts the install notifications (the link's reader thread, or the main thread after a
// failed install); they hand every user-interface step to the main queue. Delayed steps run on
// the main queue and do nothing once the manager is gone; the destructor waits for callbacks
// already running on other threads.
#pragma once

#include <QObject>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "app/core/Lifetime.h"
#include "app/core/NotificationCenter.h"
#include "app/helperlink/HelperInstaller.h"
#include "app/helperlink/HelperLocations.h"
#include "app/helperlink/Refreshable.h"
#include "app/helperlink/XPCClient.h"
#include "app/metrics/SGPowerMetrics.h"

namespace helperlink {

class XPCManager {
 public:
  static constexpr int kUninstallDelayMs = 1000;     // uninstall request -> "unInstallHelper"
  static constexpr int kUpdateDelayMs = 2000;        // update request -> the new install
  static constexpr int kRecheckFirstDelayMs = 1000;  // helper lost -> the first new check
  static constexpr int kRecheckMaxDelayMs = 30000;   // the longest wait between checks

  // Creates the link. Only when `processorType` is exactly "ARM" does the manager become the
  // link's delegate and observe "XPCDidInstall" and "XPCInstallError"; elsewhere the link can
  // still tell the helper to close, but nothing else happens. Where the sampler works on any
  // processor, callers pass "ARM" whenever the processor gate lets the machine be monitored.
  XPCManager(std::string processorType, std::unique_ptr<HelperInstaller> installer,
             HelperLocations locations = HelperLocations());
  ~XPCManager();
  XPCManager(const XPCManager&) = delete;
  XPCManager& operator=(const XPCManager&) = delete;

  XPCClient& client() { return client_; }
  const HelperLocations& locations() const { return locations_; }

  bool isAuthorized() const { return isAuthorized_.load(); }
  bool isUpdateNeeded() const { return isUpdateNeeded_.load(); }
  bool isRequestedToUninstall() const { return isRequestedToUninstall_.load(); }
  void setAuthorized(bool value) { isAuthorized_.store(value); }
  void setUpdateNeeded(bool value) { isUpdateNeeded_.store(value); }
  void setRequestedToUninstall(bool value) { isRequestedToUninstall_.store(value); }
  // What the sample store asks before each request: authorized and no uninstall pending.
  bool mayUseHelper() const { return isAuthorized() && !isRequestedToUninstall(); }

  // The two functions the sample store needs, bound to this manager and its link. They do
  // nothing once the manager is gone.
  SGPowerMetrics::HelperLink powerMetricsLink();

  // Weak delegate slots; an empty or expired slot is skipped. The sample store is held through
  // its lifetime guard, since results reach it from the link's reader thread.
  void setContentModelDelegate(std::weak_ptr<Refreshable> delegate);
  void setMorebuttonModelDelegate(std::weak_ptr<Refreshable> delegate);
  void setPowerMetricsModelDelegate(SGPowerMetrics* delegate);
  // Held for identity only: the manager never calls into the utilization model.
  void setUtilizationModelDelegate(const QObject* delegate);
  const QObject* utilizationModelDelegate() const;
  // Runs `use` with the sample store while it exists, holding off its destruction meanwhile;
  // false (and `use` not run) when there is none or it is gone. Any thread.
  bool withPowerMetricsModelDelegate(const std::function<void(SGPowerMetrics&)>& use) const;

  // The start-up check, for the content model: the liveness probe over the link's connection;
  // any reply leads to the version check, and a match makes the manager authorized, notifies
  // the delegates and refreshes the content model. Without a reply nothing happens. Returns
  // false when the probe could not be sent.
  bool checkHelperAtStartup();

  // The link lost the helper after its hello (a crash, a restart of the service). From any
  // thread, after "XPCInstallError" has done its work: the start-up check runs again after 1 s
  // and, while the manager is not authorized, again after twice the previous wait, up to 30 s;
  // a helper that answers with the expected version authorizes without the user's help. A
  // new loss starts the round again from the shortest wait.
  void helperWasLost();

  // Observers of "XPCDidInstall" and "XPCInstallError".
  void helperDidInstall();
  void helperInstallError();

  // Clears the uninstall request; when not authorized posts "ClearData" on the main queue; tells
  // the sample store whether it may sample; refreshes the content and more-button models.
  void notifyDelegates();

  // Authorizes and installs the helper, then checks that it answers. Runs on the calling thread.
  void installHelper();
  // Stops sampling at once and sends "unInstallHelper" one second later.
  void uninstallHelper();
  // uninstallHelper, then installHelper two seconds later.
  void updateHelper();

  // Asks the content model to redraw (on the main queue).
  void refreshContent();

 private:
  void refreshMoreButton();
  // One check of the round that helperWasLost starts; main thread.
  void scheduleRecheck(uint64_t round, int delayMs);
  std::weak_ptr<Refreshable> contentModel() const;

  std::unique_ptr<HelperInstaller> installer_;
  HelperLocations locations_;

  std::atomic<bool> isRequestedToUninstall_{false};
  std::atomic<bool> isUpdateNeeded_{false};
  std::atomic<bool> isAuthorized_{false};

  mutable std::mutex delegatesMutex_;  // guards the four slots
  std::weak_ptr<Refreshable> contentModelDelegate_;
  std::weak_ptr<Refreshable> morebuttonModelDelegate_;
  SGPowerMetrics* powerMetricsModelDelegate_ = nullptr;
  std::shared_ptr<Lifetime> powerMetricsModelLifetime_;  // the store's, with the pointer
  const QObject* utilizationModelDelegate_ = nullptr;

  uint64_t recheckRound_ = 0;  // main thread: the round whose checks may run

  NotificationCenter::Token didInstallObserver_ = 0;
  NotificationCenter::Token installErrorObserver_ = 0;

  std::shared_ptr<Lifetime> lifetime_ = Lifetime::make();
  XPCClient client_{*this};  // last: built after, destroyed before, everything it reaches
};

}  // namespace helperlink
