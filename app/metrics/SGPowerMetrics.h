// The sample store: paces sampling with one repeating 1-second timer, asks the helper for one
// sampler document per tick, keeps the latest document, and runs the module updates in their
// fixed order after each reply.
//
// Threads: the store lives on the main thread. receiveSample may be called on any thread (the
// helper link's reply thread): it parses there into an immutable value and hands that value to
// the main thread, where the sample is stored, the module updates run and "UpdateView" is posted,
// so model state is only ever touched on the main thread. setAuthorized and loadSettings may be
// called on any thread; everything else is for the main thread. A caller on another thread
// holds the store through lifetime() (entered around each call), never by a plain pointer
// alone: the destructor waits for such calls and refuses later ones.
#pragma once

#include <QObject>

#include <array>
#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/core/Lifetime.h"
#include "app/core/NotificationCenter.h"
#include "shared/plist/Plist.h"

class QTimer;
class UserDefaults;

class SGPowerMetrics : public QObject {
  Q_OBJECT

 public:
  // What the store needs from the helper manager; both parts may be left empty until it exists
  // (no request is sent and no reply is processed then).
  struct HelperLink {
    // Sends one request for a sample of `msSampling` milliseconds, with the GPU sampler or not.
    std::function<void(double msSampling, bool includeGPU)> requestPowermetrics;
    // True while the manager is authorized and no uninstall has been requested.
    std::function<bool()> mayUseHelper;
  };

  // The per-sample updates, run in this order.
  enum class Step { Power, Utilization, Frequency, Temperature, LogRow };
  static constexpr std::size_t kStepCount = 5;

  static constexpr int kTimerIntervalMs = 1000;
  static constexpr double kDefaultMsSampling = 500;
  static constexpr double kMinimumMsSampling = 100;

  // The sample length that a stored "samplingResolution" asks for.
  static double intervalForResolution(double resolution);

  // Reads the settings at once (which may post "ClearData"); sampling is not started.
  // `isOS13OrLater` (the platform's isOSAtLeast(13)) picks "combined_power" over
  // "package_energy" as the package figure.
  SGPowerMetrics(bool isOS13OrLater, UserDefaults& defaults, QObject* parent = nullptr);
  // The same, on the process's UserDefaults::standard().
  explicit SGPowerMetrics(bool isOS13OrLater, QObject* parent = nullptr);
  ~SGPowerMetrics() override;

  void setHelperLink(HelperLink link);
  void setModuleUpdate(Step step, std::function<void()> update);

  // Re-reads "gpuFrequency" and "samplingResolution"; a new interval posts "ClearData".
  void loadSettings();
  // Starts sampling (true) or stops it (false), on the main thread, in the order called; true
  // while running is a no-op there.
  void setAuthorized(bool authorized);
  // (Re)creates the timer and requests one sample at once.
  void startSampling();
  // Drops the timer but keeps isAuthorized (the uninstall path).
  void stopSampling();
  // Sends one request when the helper may be used.
  void requestSample();

  // One reply: nullopt (the helper could not run the sampler) is ignored; anything else is
  // parsed here and applied on the main thread. Bytes that are not a dictionary document give an
  // empty sample, which still drives a full update cycle.
  void receiveSample(std::optional<std::string_view> payload);
  // The main-thread half: stores `sample` and, when the helper may be used, runs the updates and
  // posts "UpdateView" asynchronously.
  void applySample(plist::Value sample);
  void updateModules();

  // Parses one reply's bytes into the sample to store (an empty dictionary on any failure).
  static plist::Value parseSample(std::string_view payload);

  // Read operations over the latest sample.
  plist::Dict powerValues() const;
  std::map<std::string, double> clusterFrequencies() const;
  plist::Dict gpuFrequencyValues() const;
  std::map<std::string, std::vector<int64_t>> clusterCPUs() const;

  // The guard that callers on other threads enter around each use of the store.
  const std::shared_ptr<Lifetime>& lifetime() const { return lifetime_; }

  const plist::Value& data() const { return data_; }
  double msSampling() const { return msSampling_.load(); }
  // The window the sampler really measured, as the document states it; the requested length
  // when the document does not say.
  double sampleWindowSeconds() const {
    const auto ns = data_["elapsed_ns"].number();
    if (ns && *ns > 0) return *ns / 1e9;
    return msSampling() / 1000;
  }
  bool includeGPU() const { return includeGPU_.load(); }
  bool isAuthorized() const { return isAuthorized_.load(); }
  bool isSampling() const { return sampling_.load(); }
  bool isOS13OrLater() const { return isOS13OrLater_; }

 private:
  bool mayUseHelper() const;

  const bool isOS13OrLater_;
  UserDefaults& defaults_;
  HelperLink link_;
  std::array<std::function<void()>, kStepCount> updates_;
  plist::Value data_ = plist::Value(plist::Dict{});
  std::unique_ptr<QTimer> timer_;
  std::atomic<bool> sampling_{false};
  std::atomic<bool> includeGPU_{false};
  std::atomic<double> msSampling_{kDefaultMsSampling};
  std::atomic<bool> isAuthorized_{false};
  NotificationCenter::Token defaultsObserver_ = 0;
  std::shared_ptr<Lifetime> lifetime_ = Lifetime::make();
};
