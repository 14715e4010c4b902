#include "app/record/Recorder.h"

#include <unistd.h>

#include <csignal>

#include <QCoreApplication>
#include <QStandardPaths>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>

#include "app/core/CheckedFile.h"
#include "app/core/ExitStatus.h"
#include "app/headless/HeadlessRuntime.h"
#include "app/log/LogFileWriter.h"
#include "app/model/GeneralModel.h"
#include "app/record/RecordPlot.h"

namespace record {

namespace {

// How long a command that is still running at the end gets to exit after SIGTERM.
constexpr int kCommandStopMs = 10000;

using headless::say;

double wallSeconds() {
  using namespace std::chrono;
  return duration<double>(system_clock::now().time_since_epoch()).count();
}

}  // namespace

Recorder::Recorder(headless::HeadlessSession& session, RecordRequest request, QObject* parent)
    : QObject(parent),
      session_(session),
      request_(std::move(request)),
      statusLine_(::isatty(STDERR_FILENO) == 1) {
  duration_.setSingleShot(true);
  duration_.setTimerType(Qt::PreciseTimer);
  connect(&duration_, &QTimer::timeout, this, [] { QCoreApplication::quit(); });
  connect(&session_, &headless::HeadlessSession::failed, this, [this](headless::Failure failure) {
    say(headless::message(failure, session_.endpoint()));
    failure_ = headless::exitCode(failure);
    QCoreApplication::exit(*failure_);
  });
  connect(&session_, &headless::HeadlessSession::started, this, &Recorder::begin);
  connect(&session_, &headless::HeadlessSession::sampled, this, &Recorder::takeSample);
  connect(&session_, &headless::HeadlessSession::helperLost, this, [this] {
    clearStatus();
    helperLost_ = true;
    if (command_ && command_->state() != QProcess::NotRunning) {
      say("the helper stopped answering; the recording ends here, the command keeps running");
      recording_ = false;
    } else {
      say("the helper stopped answering; the recording ends here");
      QCoreApplication::quit();
    }
  });
}

Recorder::~Recorder() = default;

void Recorder::begin() {
  say("recording through the helper at " + session_.endpoint());
  recording_ = true;
  startedAt_ = headless::HeadlessSession::Clock::now();
  startedAtWall_ = wallSeconds();
  if (request_.durationSeconds)
    duration_.start(static_cast<int>(std::lround(*request_.durationSeconds * 1000)));
  if (request_.command.empty()) return;
  command_ = std::make_unique<QProcess>();
  // The command shares the terminal: its output, its input and its Ctrl-C.
  command_->setProcessChannelMode(QProcess::ForwardedChannels);
  command_->setInputChannelMode(QProcess::ForwardedInputChannel);
  // We ignore SIGPIPE so that a closed pipe cannot cost the recording; the command gets the
  // default back, so `yes | head` inside it ends as it would anywhere else.
  command_->setChildProcessModifier([] {
    struct sigaction byDefault {};
    byDefault.sa_handler = SIG_DFL;
    ::sigaction(SIGPIPE, &byDefault, nullptr);
  });
  connect(command_.get(), &QProcess::finished, this, &Recorder::commandFinished);
  connect(command_.get(), &QProcess::errorOccurred, this, &Recorder::commandFailed);
  QStringList arguments;
  for (std::size_t i = 1; i < request_.command.size(); ++i)
    arguments << QString::fromStdString(request_.command[i]);
  // A fixed argument vector, never a shell: what the user typed after "--" is what runs.
  command_->start(QString::fromStdString(request_.command.front()), arguments);
}

void Recorder::takeSample() {
  if (!recording_) return;
  GeneralModel& model = session_.model();
  const auto at = headless::HeadlessSession::Clock::now();
  const double wall = wallSeconds();
  if (!firstRowAt_) firstRowAt_ = wall;
  const LogRowValues values = model.logRowValues();
  rows_.push_back(LogFileData::make(wall, wall - *firstRowAt_, values));
  // A sampler run that the helper had to kill arrives as an empty document: a row of zeros, as
  // in the window's log, but no measurement, so it neither ends a silence nor adds covered time.
  const plist::Dict* document = model.modelPowerMetrics().data().dict();
  if (!document || document->empty()) return;
  if (lastArrival_)
    longestSilence_ =
        std::max(longestSilence_, std::chrono::duration<double>(at - *lastArrival_).count());
  lastArrival_ = at;
  // The rows keep 0 W for a domain the sampler did not report; the summary says n/a for it.
  summary_.add(at, session_.reportedWatts(), model.modelPowerMetrics().sampleWindowSeconds());
  showStatus(values.pkgPower);
}

void Recorder::commandFinished(int exitCode, QProcess::ExitStatus status) {
  // On a crash Qt reports the signal's number as the exit code; a shell reports 128 + it.
  commandStatus_ = status == QProcess::CrashExit ? 128 + exitCode : exitCode;
  QCoreApplication::quit();
}

void Recorder::commandFailed(QProcess::ProcessError error) {
  if (error != QProcess::FailedToStart) return;
  clearStatus();
  const std::string program = request_.command.front();
  const bool found =
      program.find('/') != std::string::npos
          ? ::access(program.c_str(), F_OK) == 0
          : !QStandardPaths::findExecutable(QString::fromStdString(program)).isEmpty();
  say("cannot run " + program + ": " + command_->errorString().toStdString());
  commandStatus_ = found ? exitstatus::kNotExecutable : exitstatus::kNotFound;
  QCoreApplication::quit();
}

void Recorder::showStatus(double watts) {
  if (!statusLine_) return;
  const double elapsed =
      std::chrono::duration<double>(headless::HeadlessSession::Clock::now() - startedAt_).count();
  const std::string line = "recording " + logfile::formatNumber(elapsed, 0) + " s, " +
                           std::to_string(summary_.samples()) + " samples, package " +
                           logfile::formatNumber(watts, 2) + " W";
  std::fprintf(stderr, "\r\033[K%s", line.c_str());
  std::fflush(stderr);
  statusShown_ = true;
}

void Recorder::clearStatus() {
  if (!statusShown_) return;
  std::fputs("\r\033[K", stderr);
  statusShown_ = false;
}

std::string Recorder::outputProblem() const {
  return request_.output ? checkedfile::checkTarget(*request_.output) : std::string();
}

std::string Recorder::write(const std::string& text, bool* asked) {
  *asked = false;
  if (request_.output) {
    const std::string problem = checkedfile::replaceFile(*request_.output, text);
    if (problem.empty()) {
      *asked = true;
      return *request_.output;
    }
    say("cannot write " + *request_.output + ": " + problem);
  }
  // The logging folder and name (" 2", " 3", ... when taken); after a failed --output the rows
  // still go somewhere.
  const logfile::SaveResult result =
      logfile::save(logfile::folders(request_.chosenFolder),
                    logfile::fileName(static_cast<std::time_t>(startedAtWall_)), text);
  if (!result.saved()) {
    say("cannot write the recording: " + result.failure + "; the rows are lost");
    return {};
  }
  if (!result.failure.empty()) say("cannot write the recording there: " + result.failure);
  *asked = !request_.output && result.failure.empty();
  return result.path;
}

void Recorder::stopCommand() {
  if (!command_ || command_->state() == QProcess::NotRunning) return;
  command_->terminate();
  if (command_->waitForFinished(kCommandStopMs)) {
    say("the command was still running at the end and was stopped (SIGTERM)");
    return;
  }
  command_->kill();
  command_->waitForFinished(kCommandStopMs);
  say("the command did not stop within " + std::to_string(kCommandStopMs / 1000) +
      " s of SIGTERM and was killed (SIGKILL)");
}

int Recorder::exitStatus(bool written, bool stalled) const {
  // A command that failed speaks first: its status is what a script around us tests.
  if (commandStatus_ && *commandStatus_ != 0) return *commandStatus_;
  if (!written) return exitstatus::kCannotWrite;
  if (summary_.samples() == 0) return exitstatus::kNoInput;
  if (helperLost_ || stalled) return exitstatus::kIncomplete;
  return 0;
}

int Recorder::finish() {
  clearStatus();
  if (failure_) return *failure_;
  if (startedAtWall_ == 0) {
    say("stopped before the helper answered; nothing was recorded");
    return exitstatus::kNoInput;
  }
  // The recording ends here: the time spent stopping the command is not part of it.
  recording_ = false;
  // Ended before its duration or its command, or without its helper: the picture says so.
  const bool cutShort = helperLost_ || duration_.isActive() ||
                        (command_ && command_->state() != QProcess::NotRunning);
  duration_.stop();
  const auto endedAt = headless::HeadlessSession::Clock::now();
  const double recorded = std::chrono::duration<double>(endedAt - startedAt_).count();
  const double silence =
      lastArrival_ ? std::max(longestSilence_,
                              std::chrono::duration<double>(endedAt - *lastArrival_).count())
                   : 0;
  // Only a silence past the stall limit counts; below it the gaps are the sampler's own rhythm.
  const double stalledFor = silence > session_.stallLimitMs() / 1000.0 ? silence : 0;
  stopCommand();

  bool asked = false;
  const std::string path = write(logfile::text(rows_), &asked);
  std::string summary = summary_.text(recorded);
  if (summary_.samples() == 0) {
    summary += "nothing was recorded: no sample arrived\n";
  } else if (helperLost_ || stalledFor > 0) {
    summary += "incomplete: the samples cover " +
               logfile::formatNumber(summary_.coveredSeconds(), 3) + " s of the " +
               logfile::formatNumber(recorded, 1) + " s recorded (" +
               (helperLost_ ? std::string("the helper stopped answering")
                            : "no sample for " + logfile::formatNumber(stalledFor, 1) + " s") +
               ")\n";
  }
  std::fputs(summary.c_str(), stderr);
  std::fflush(stderr);
  if (!path.empty()) say("saved at " + path);
  int status = exitStatus(asked, stalledFor > 0);
  if (request_.plot && !path.empty() &&
      !drawRecording(path, *request_.plot, cutShort || stalledFor > 0) && status == 0)
    status = exitstatus::kCannotWrite;
  return status;
}

}  // namespace record
