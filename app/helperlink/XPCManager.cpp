#include "app/helperlink/XPCManager.h"

#include <algorithm>
#include <string>
#include <utility>

#include "app/core/Dispatch.h"
#include "app/helperlink/Log.h"

namespace helperlink {

XPCManager::XPCManager(std::string processorType, std::unique_ptr<HelperInstaller> installer,
                       HelperLocations locations)
    : installer_(std::move(installer)), locations_(std::move(locations)) {
  // Only a machine that samples through the helper listens for its installation; elsewhere the
  // link exists just to tell a running helper to close.
  if (processorType != "ARM") return;
  client_.setDelegate(this);
  auto& center = NotificationCenter::defaultCenter();
  auto guard = lifetime_;
  didInstallObserver_ = center.addObserver(notifications::kXPCDidInstall, [guard, this] {
    if (auto use = guard->enter()) helperDidInstall();
  });
  installErrorObserver_ = center.addObserver(notifications::kXPCInstallError, [guard, this] {
    if (auto use = guard->enter()) helperInstallError();
  });
}

XPCManager::~XPCManager() {
  // The link's callbacks reach into the manager, so they end first; then the manager's own.
  client_.close();
  auto& center = NotificationCenter::defaultCenter();
  center.removeObserver(didInstallObserver_);
  center.removeObserver(installErrorObserver_);
  lifetime_->close();
  printLine("DEINIT XPCManager");
}

SGPowerMetrics::HelperLink XPCManager::powerMetricsLink() {
  auto guard = lifetime_;
  return {
      .requestPowermetrics =
          [guard, this](double msSampling, bool includeGPU) {
            if (auto use = guard->enter()) client_.requestPowermetrics(includeGPU, msSampling);
          },
      .mayUseHelper =
          [guard, this] {
            auto use = guard->enter();
            return use && mayUseHelper();
          },
  };
}

void XPCManager::setContentModelDelegate(std::weak_ptr<Refreshable> delegate) {
  std::lock_guard lock(delegatesMutex_);
  contentModelDelegate_ = std::move(delegate);
}

void XPCManager::setMorebuttonModelDelegate(std::weak_ptr<Refreshable> delegate) {
  std::lock_guard lock(delegatesMutex_);
  morebuttonModelDelegate_ = std::move(delegate);
}

void XPCManager::setPowerMetricsModelDelegate(SGPowerMetrics* delegate) {
  std::lock_guard lock(delegatesMutex_);
  powerMetricsModelDelegate_ = delegate;
  powerMetricsModelLifetime_ = delegate ? delegate->lifetime() : nullptr;
}

void XPCManager::setUtilizationModelDelegate(const QObject* delegate) {
  std::lock_guard lock(delegatesMutex_);
  utilizationModelDelegate_ = delegate;
}

const QObject* XPCManager::utilizationModelDelegate() const {
  std::lock_guard lock(delegatesMutex_);
  return utilizationModelDelegate_;
}

bool XPCManager::withPowerMetricsModelDelegate(
    const std::function<void(SGPowerMetrics&)>& use) const {
  SGPowerMetrics* store = nullptr;
  std::shared_ptr<Lifetime> lifetime;
  {
    std::lock_guard lock(delegatesMutex_);
    store = powerMetricsModelDelegate_;
    lifetime = powerMetricsModelLifetime_;
  }
  if (!store || !lifetime) return false;
  // Entered outside the delegates' lock: the store's destructor may be waiting for this use.
  auto entered = lifetime->enter();
  if (!entered) return false;
  use(*store);
  return true;
}

bool XPCManager::checkHelperAtStartup() {
  auto guard = lifetime_;
  // Any answer counts as responding; the version decides the rest.
  return client_.isResponding([guard, this](bool) {
    auto use = guard->enter();
    if (!use) return;
    client_.checkHelperVersion([guard, this](bool match) {
      auto inner = guard->enter();
      if (!inner || !match) return;
      setAuthorized(true);
      notifyDelegates();
      refreshContent();
    });
  });
}

void XPCManager::helperWasLost() {
  // The rounds are counted on the main thread, where their checks run. A new loss starts a new
  // round from the shortest wait; the checks of an older round stop.
  dispatch::mainAsync(lifetime_,
                      [this] { scheduleRecheck(++recheckRound_, kRecheckFirstDelayMs); });
}

void XPCManager::scheduleRecheck(uint64_t round, int delayMs) {
  dispatch::mainAfter(delayMs, lifetime_, [this, round, delayMs] {
    // Authorized again (by an earlier check of this round, or by an install): the round ends.
    if (round != recheckRound_ || isAuthorized()) return;
    // Nobody listening ends the probe's connection at once; the next check opens a new one.
    checkHelperAtStartup();
    scheduleRecheck(round, std::min(delayMs * 2, kRecheckMaxDelayMs));
  });
}

void XPCManager::helperDidInstall() {
  setAuthorized(true);
  notifyDelegates();
}

void XPCManager::helperInstallError() {
  setAuthorized(false);
  notifyDelegates();
}

void XPCManager::notifyDelegates() {
  setRequestedToUninstall(false);
  const bool authorized = isAuthorized();
  if (!authorized) NotificationCenter::defaultCenter().postAsyncOnMain(notifications::kClearData);
  // The sample store and both models live on the main thread, whatever thread reports here.
  auto guard = lifetime_;
  dispatch::mainAsync([guard, this, authorized] {
    auto use = guard->enter();
    if (!use) return;
    withPowerMetricsModelDelegate(
        [authorized](SGPowerMetrics& store) { store.setAuthorized(authorized); });
  });
  refreshContent();
  refreshMoreButton();
}

void XPCManager::refreshContent() {
  dispatch::mainAsync([model = contentModel()] {
    if (const auto strong = model.lock()) strong->refresh();
  });
}

void XPCManager::refreshMoreButton() {
  std::weak_ptr<Refreshable> model;
  {
    std::lock_guard lock(delegatesMutex_);
    model = morebuttonModelDelegate_;
  }
  dispatch::mainAsync([model] {
    if (const auto strong = model.lock()) strong->refresh();
  });
}

std::weak_ptr<Refreshable> XPCManager::contentModel() const {
  std::lock_guard lock(delegatesMutex_);
  return contentModelDelegate_;
}

void XPCManager::installHelper() {
  const int status = installer_ ? installer_->authorize() : -1;
  if (status != 0) {
    // Nothing can be installed without it; the prompt's button is the way to try again.
    logLine("[PWMJBS]: Authorization failed with status code " + std::to_string(status));
    return;
  }
  if (!installer_->bless())
    NotificationCenter::defaultCenter().post(notifications::kXPCInstallError);
  // Even after a failed install: a helper that answers is there after all.
  client_.checkHelperResponding();
}

void XPCManager::uninstallHelper() {
  auto guard = lifetime_;
  dispatch::globalAsync([guard, this] {
    dispatch::mainAsync([guard, this] {
      auto use = guard->enter();
      if (!use) return;
      // Sampling stops at once; the store keeps its authorization until the helper is gone.
      withPowerMetricsModelDelegate([](SGPowerMetrics& store) { store.stopSampling(); });
      setUpdateNeeded(false);
      refreshContent();
      setRequestedToUninstall(true);
    });
    dispatch::mainAfter(kUninstallDelayMs, [guard, this] {
      if (auto use = guard->enter()) client_.requestUninstall([](bool) {});
    });
  });
}

void XPCManager::updateHelper() {
  uninstallHelper();
  auto guard = lifetime_;
  dispatch::mainAfter(kUpdateDelayMs, [guard, this] {
    if (auto use = guard->enter()) installHelper();
  });
}

}  // namespace helperlink
