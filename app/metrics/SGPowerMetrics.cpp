#include "app/metrics/SGPowerMetrics.h"

#include <QTimer>

#include "app/core/Dispatch.h"
#include "app/core/UserDefaults.h"
#include "app/metrics/SampleReaders.h"

double SGPowerMetrics::intervalForResolution(double resolution) {
  if (resolution == 0) return kDefaultMsSampling;
  if (resolution >= kMinimumMsSampling) return resolution;
  // Below the minimum, negative values and NaN included.
  return kMinimumMsSampling;
}

SGPowerMetrics::SGPowerMetrics(bool isOS13OrLater, UserDefaults& defaults, QObject* parent)
    : QObject(parent), isOS13OrLater_(isOS13OrLater), defaults_(defaults) {
  // Settings are written (and the change posted) on any thread, so the observer holds the
  // store's lifetime rather than a QObject owner.
  defaultsObserver_ = NotificationCenter::defaultCenter().addObserver(
      notifications::kUserDefaultsDidChange, [guard = lifetime_, this] {
        if (auto use = guard->enter()) loadSettings();
      });
  loadSettings();
}

SGPowerMetrics::SGPowerMetrics(bool isOS13OrLater, QObject* parent)
    : SGPowerMetrics(isOS13OrLater, UserDefaults::standard(), parent) {}

SGPowerMetrics::~SGPowerMetrics() {
  // First: uses under way on other threads (a reply being parsed, a settings change) end
  // before anything they reach goes, and no later one starts.
  lifetime_->close();
  NotificationCenter::defaultCenter().removeObserver(defaultsObserver_);
}

void SGPowerMetrics::setHelperLink(HelperLink link) {
  link_ = std::move(link);
}

void SGPowerMetrics::setModuleUpdate(Step step, std::function<void()> update) {
  updates_[static_cast<std::size_t>(step)] = std::move(update);
}

void SGPowerMetrics::loadSettings() {
  includeGPU_.store(defaults_.gpuFrequency());
  const double wanted = intervalForResolution(defaults_.samplingResolution());
  const double previous = msSampling_.exchange(wanted);
  // A new interval changes what every value means (energies are divided by it), so all histories
  // restart. A NaN setting maps to the minimum above, so this comparison is always meaningful.
  if (previous != wanted) {
    NotificationCenter::defaultCenter().postAsyncOnMain(notifications::kClearData);
  }
}

void SGPowerMetrics::setAuthorized(bool authorized) {
  // Decided only when it runs: a grant must not be dropped because a stop queued before it has
  // not run yet.
  dispatch::mainAsync(lifetime_, [this, authorized] {
    isAuthorized_.store(authorized);
    // Two grants queued before either ran (the start-up check and an install, say) must not
    // start a second round: the first one's timer is already running.
    if (authorized && sampling_.load()) return;
    if (authorized) {
      startSampling();
    } else {
      stopSampling();
    }
  });
}

void SGPowerMetrics::startSampling() {
  stopSampling();
  timer_ = std::make_unique<QTimer>();
  // Precise, so ticks stay a second apart; the main loop keeps servicing timers while a menu
  // or a modal loop runs, so sampling does not pause while the user browses a menu.
  timer_->setTimerType(Qt::PreciseTimer);
  timer_->setInterval(kTimerIntervalMs);
  connect(timer_.get(), &QTimer::timeout, this, &SGPowerMetrics::requestSample);
  timer_->start();
  sampling_.store(true);
  requestSample();
}

void SGPowerMetrics::stopSampling() {
  if (timer_) timer_->stop();
  timer_.reset();
  sampling_.store(false);
}

bool SGPowerMetrics::mayUseHelper() const {
  return link_.mayUseHelper && link_.mayUseHelper();
}

void SGPowerMetrics::requestSample() {
  // Every tick sends its own request; slow replies simply overlap.
  if (!mayUseHelper() || !link_.requestPowermetrics) return;
  link_.requestPowermetrics(msSampling(), includeGPU());
}

plist::Value SGPowerMetrics::parseSample(std::string_view payload) {
  plist::ParseResult parsed = plist::parse(payload);
  if (!parsed.ok() || !parsed.value->isDict()) return plist::Value(plist::Dict{});
  return std::move(*parsed.value);
}

void SGPowerMetrics::receiveSample(std::optional<std::string_view> payload) {
  if (!payload) return;  // the sampler did not run: keep the previous sample, update nothing
  plist::Value sample = parseSample(*payload);
  if (dispatch::isMainThread()) {
    applySample(std::move(sample));
    return;
  }
  dispatch::mainAsync(
      lifetime_, [this, sample = std::move(sample)]() mutable { applySample(std::move(sample)); });
}

void SGPowerMetrics::applySample(plist::Value sample) {
  data_ = std::move(sample);
  if (!mayUseHelper()) return;
  updateModules();
}

void SGPowerMetrics::updateModules() {
  for (const auto& update : updates_) {
    if (update) update();
  }
  NotificationCenter::defaultCenter().postAsyncOnMain(notifications::kUpdateView);
}

plist::Dict SGPowerMetrics::powerValues() const {
  return sample::powerValues(data_, isOS13OrLater_);
}

std::map<std::string, double> SGPowerMetrics::clusterFrequencies() const {
  return sample::clusterFrequencies(data_);
}

plist::Dict SGPowerMetrics::gpuFrequencyValues() const {
  return sample::gpuFrequencyValues(data_);
}

std::map<std::string, std::vector<int64_t>> SGPowerMetrics::clusterCPUs() const {
  return sample::clusterCPUs(data_);
}
