// The root model without a window: the helper is checked at start exactly as the window checks
// it, sampling then runs through the installed helper (or FERROLUX_HELPER_ENDPOINT) as it does
// under the window, and every command without a window learns of each sample and of the helper's
// state from here. Where the window would show the install or update prompt, a session reports a
// failure with a message and an exit code instead, so a terminal or a service manager can tell
// what is wrong.
//
// Threads: created, started and destroyed on the main thread, where every signal is emitted.
#pragma once

#include <QObject>
#include <QTimer>

#include <chrono>
#include <memory>
#include <string>

#include "app/core/NotificationCenter.h"
#include "app/headless/EnergyMeter.h"

class GeneralModel;

namespace headless {

// Why the helper cannot be used, from the most basic cause on.
enum class Failure {
  ProcessorRefused,  // the platform cannot sample this processor
  NotInstalled,      // no helper socket at the endpoint
  NotPermitted,      // the socket belongs to another user (installed for someone else)
  NotRunning,        // the socket is there but nobody listens
  Refused,           // the helper closed the connection before its hello: this program failed
                     // its admission check
  NotAnswering,      // connected, but no answer in time
  Outdated,          // the helper answered with another version than this program's copy
};

// The process exit status for `failure`, in the BSD sysexits convention: 69 (unavailable) for a
// helper or processor that cannot be used, 77 (no permission) for a refusal, 78 (configuration)
// for an outdated helper.
int exitCode(Failure failure);
// One line for the terminal, naming the endpoint and what to do about it.
std::string message(Failure failure, const std::string& endpoint);

class HeadlessSession : public QObject {
  Q_OBJECT

 public:
  using Clock = std::chrono::steady_clock;

  struct Options {
    // How long the start-up check may wait for the helper's answer.
    int answerTimeoutMs = 15000;
    // After the helper is lost (it exited or crashed), check again every `retryMs` instead of
    // giving up; for long-running services. Commands that must not outlive the helper leave it
    // off and end on helperLost().
    bool keepTrying = false;
    int retryMs = 5000;
    // A helper counts as answering while its last sample is at most this old.
    std::chrono::milliseconds answerWindow{5000};
    // Samples have stopped when none came for this many sampling ticks while authorized: the
    // connection may still be open, but nothing comes back on it.
    int stallTicks = 3;
  };

  HeadlessSession(GeneralModel& model, Options options, QObject* parent = nullptr);
  ~HeadlessSession() override;

  // Runs the start-up check; ends in started() or failed(), from the event loop.
  void start();

  GeneralModel& model() { return model_; }
  // The latest sample's power per domain, in the energy meter's order; NaN for a domain the
  // sampler did not report, so that it adds no energy.
  EnergyMeter::Watts reportedWatts() const;
  // How long without a sample counts as a stall: `stallTicks` sampling ticks, or sample
  // lengths when those are longer. A session that keeps trying then drops its connection and
  // treats the helper as lost (helperLost follows; the manager's checks bring it back, and the
  // next stall is allowed twice as long until a sample arrives).
  int stallLimitMs() const;
  // The helper's socket path this session uses.
  const std::string& endpoint() const { return endpoint_; }
  // Samples received since start.
  uint64_t samples() const { return samples_; }
  // When the last sample's models were updated; the epoch before the first.
  Clock::time_point lastSampleAt() const { return lastSampleAt_; }
  // Authorized, and a sample arrived within the answer window before `now`.
  bool isHelperAnswering(Clock::time_point now) const;

 signals:
  // The helper answered with the current version: sampling runs.
  void started();
  // The start-up check failed; nothing is sampled. The caller normally exits with
  // exitCode(failure).
  void failed(headless::Failure failure);
  // After each sample's model updates, when every module model holds that sample's values.
  void sampled();
  // The helper stopped answering after start (it exited or crashed), and is back.
  void helperLost();
  void helperBack();

 private:
  class Watcher;
  void evaluate();
  void connectionEnded();
  void fail(Failure failure);
  void checkAgain();
  void stalled();

  GeneralModel& model_;
  const Options options_;
  const std::string endpoint_;
  std::shared_ptr<Watcher> watcher_;  // the manager's content delegate
  QTimer answerTimer_;
  QTimer retryTimer_;
  QTimer stallTimer_;
  bool checking_ = false;  // the start-up check runs and has no verdict yet
  bool running_ = false;   // started, and the helper not lost since
  bool everStarted_ = false;
  uint64_t samples_ = 0;
  Clock::time_point lastSampleAt_{};
  NotificationCenter::Token updateToken_ = 0;
};

}  // namespace headless
