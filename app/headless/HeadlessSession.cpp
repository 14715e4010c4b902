#include "app/headless/HeadlessSession.h"

#include <sys/stat.h>
#include <unistd.h>

#include <QPointer>

#include <algorithm>
#include <cerrno>

#include "app/core/Dispatch.h"
#include "app/core/ExitStatus.h"
#include "app/helperlink/Refreshable.h"
#include "app/metrics/SGPowerMetrics.h"
#include "app/model/GeneralModel.h"
#include "shared/xpc/Connection.h"
#include "shared/xpc/Socket.h"

namespace headless {

int exitCode(Failure failure) {
  switch (failure) {
    case Failure::NotPermitted:
    case Failure::Refused:
      return exitstatus::kNotPermitted;
    case Failure::Outdated:
      return exitstatus::kConfig;
    default:
      return exitstatus::kUnavailable;
  }
}

std::string message(Failure failure, const std::string& endpoint) {
  switch (failure) {
    case Failure::ProcessorRefused:
      return "this machine's processor cannot be sampled (the sampler needs Apple Silicon)";
    case Failure::NotInstalled:
      return "the helper is not installed (no socket at " + endpoint +
             "); open Ferrolux and press \"Install Helper\"";
    case Failure::NotPermitted:
      return "the helper at " + endpoint +
             " was installed for another user; install it again from Ferrolux as this user";
    case Failure::NotRunning:
      return "nobody listens at " + endpoint +
             "; the helper's socket unit is stopped (systemctl start "
             "com.tarquell.powermetrics.socket)";
    case Failure::Refused:
      return "the helper at " + endpoint +
             " refused this program: it does not carry the application's signature";
    case Failure::NotAnswering:
      return "the helper at " + endpoint + " did not answer";
    case Failure::Outdated:
      return "the helper at " + endpoint +
             " is another version than this program's; open Ferrolux and press \"Update Helper\"";
  }
  return {};
}

// The manager's content delegate: the manager refreshes it on the main loop whenever its flags
// change, which is all a session needs to follow the start-up check.
class HeadlessSession::Watcher : public helperlink::Refreshable {
 public:
  explicit Watcher(HeadlessSession* session) : session_(session) {}
  void refresh() override {
    if (session_) session_->evaluate();
  }
  void connectionEnded() {
    if (session_) session_->connectionEnded();
  }

 private:
  QPointer<HeadlessSession> session_;  // read on the main thread only
};

HeadlessSession::HeadlessSession(GeneralModel& model, Options options, QObject* parent)
    : QObject(parent),
      model_(model),
      options_(options),
      endpoint_(xpc::helperEndpoint()),
      watcher_(std::make_shared<Watcher>(this)) {
  answerTimer_.setSingleShot(true);
  connect(&answerTimer_, &QTimer::timeout, this, [this] {
    if (checking_) fail(Failure::NotAnswering);
  });
  connect(&retryTimer_, &QTimer::timeout, this, &HeadlessSession::checkAgain);
  stallTimer_.setSingleShot(true);
  stallTimer_.setInterval(stallLimitMs());
  connect(&stallTimer_, &QTimer::timeout, this, &HeadlessSession::stalled);
  updateToken_ =
      NotificationCenter::defaultCenter().addObserver(notifications::kUpdateView, this, [this] {
        ++samples_;
        lastSampleAt_ = Clock::now();
        if (running_) stallTimer_.start(stallLimitMs());
        emit sampled();
      });
  // The link reports nothing when a connection ends before the helper's hello (the window just
  // keeps its install prompt), so the session watches its connections for that one event. The
  // handler runs on the connection's reader thread; the watcher is reached on the main loop.
  std::weak_ptr<Watcher> weak = watcher_;
  model_.xpcmanager().client().setConnector(
      [weak](const std::string& path, xpc::Connection::Handlers handlers) {
        handlers.invalidated = [weak, inner = std::move(handlers.invalidated)] {
          dispatch::mainAsync(weak, [weak] {
            if (auto w = weak.lock()) w->connectionEnded();
          });
          if (inner) inner();
        };
        return xpc::Connection::connect(path, std::move(handlers));
      });
}

HeadlessSession::~HeadlessSession() {
  NotificationCenter::defaultCenter().removeObserver(updateToken_);
  model_.xpcmanager().client().setConnector({});
}

void HeadlessSession::start() {
  // Verdicts always come from the event loop, so a caller can connect after start().
  dispatch::mainAsync(this, [this] {
    if (model_.processorType() != "ARM") return fail(Failure::ProcessorRefused);
    struct stat st;
    if (::stat(endpoint_.c_str(), &st) != 0) return fail(Failure::NotInstalled);
    // Connecting to a Unix socket needs write permission on it; the installer gives the socket
    // to the approving user alone.
    if (::access(endpoint_.c_str(), W_OK) != 0) return fail(Failure::NotPermitted);
    helperlink::XPCManager& manager = model_.xpcmanager();
    manager.setContentModelDelegate(watcher_);
    checking_ = true;
    answerTimer_.start(options_.answerTimeoutMs);
    if (!manager.checkHelperAtStartup()) connectionEnded();
  });
}

bool HeadlessSession::isHelperAnswering(Clock::time_point now) const {
  return model_.xpcmanager().isAuthorized() && samples_ > 0 &&
         now - lastSampleAt_ <= options_.answerWindow;
}

void HeadlessSession::evaluate() {
  helperlink::XPCManager& manager = model_.xpcmanager();
  if (manager.isAuthorized()) {
    checking_ = false;
    answerTimer_.stop();
    retryTimer_.stop();
    if (running_) return;
    running_ = true;
    stallTimer_.start();
    if (everStarted_) {
      emit helperBack();
    } else {
      everStarted_ = true;
      emit started();
    }
    return;
  }
  if (checking_ && manager.isUpdateNeeded()) return fail(Failure::Outdated);
  if (running_) {
    running_ = false;
    stallTimer_.stop();
    emit helperLost();
    if (options_.keepTrying) retryTimer_.start(options_.retryMs);
  }
}

void HeadlessSession::connectionEnded() {
  if (!checking_) return;
  // The link cannot tell a refusal from nobody listening; a second, bare connect can.
  const xpc::UniqueFd probe = xpc::connectUnix(endpoint_);
  const int error = errno;
  if (probe.valid()) return fail(Failure::Refused);
  if (error == ENOENT) return fail(Failure::NotInstalled);
  if (error == EACCES) return fail(Failure::NotPermitted);
  fail(Failure::NotRunning);
}

void HeadlessSession::fail(Failure failure) {
  checking_ = false;
  answerTimer_.stop();
  emit failed(failure);
}

void HeadlessSession::stalled() {
  helperlink::XPCManager& manager = model_.xpcmanager();
  if (!running_ || !manager.isAuthorized() || !options_.keepTrying) return;
  // Dropping the connection also drops the runs under way on it. On a machine so loaded that
  // one run takes longer than the stall limit, every new connection would be dropped before
  // its first result; so each stall in a row waits twice as long, until a sample comes.
  stallTimer_.setInterval(std::min(stallTimer_.interval() * 2, 60000));
  // The same path as a helper that went away: a fresh connection is looked for from the
  // shortest wait on, and evaluate() reports the loss once the flags have changed.
  manager.client().dropConnection();
  manager.setAuthorized(false);
  manager.notifyDelegates();
  manager.helperWasLost();
}

void HeadlessSession::checkAgain() {
  // A lost helper leaves no verdict to wait for: each try either authorizes (evaluate) or
  // leaves the session where it is until the next one.
  if (!running_) model_.xpcmanager().checkHelperAtStartup();
}

int HeadlessSession::stallLimitMs() const {
  const double tick =
      std::max<double>(SGPowerMetrics::kTimerIntervalMs, model_.modelPowerMetrics().msSampling());
  return static_cast<int>(options_.stallTicks * tick);
}

EnergyMeter::Watts HeadlessSession::reportedWatts() const {
  const ModuleModelPower& power = model_.modelPower();
  using D = ModuleModelPower::Domain;
  return {power.reportedWatts(D::PKG), power.reportedWatts(D::CPU), power.reportedWatts(D::GPU),
          power.reportedWatts(D::DRAM)};
}

}  // namespace headless
