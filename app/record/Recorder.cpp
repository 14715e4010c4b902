#include "app/record/Recorder.h"

#include <unistd.h>

#include <QCoreApplication>
#include <QStandardPaths>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>

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
  summary_.add(at, {values.pkgPower, values.cpuPower, values.gpuPower, values.dramPower},
               model.modelPowerMetrics().sampleWindowSeconds());
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
  commandStatus_ = found ? kNotExecutable : kNotFound;
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

std::string Recorder::write(const std::string& text, bool* asked) {
  *asked = false;
  if (request_.output) {
    const std::string problem = logfile::writeFile(*request_.output, text);
    if (problem.empty()) {
      *asked = true;
      return *request_.output;
    }
    say("cannot write " + *request_.output + ": " + problem);
  }
  // The logging folder and name; after a failed --output the rows still go somewhere.
  const logfile::SaveResult result =
      logfile::save(logfile::folders(request_.chosenFolder),
                    logfile::fileName(static_cast<std::time_t>(startedAtWall_)), text);
  if (!result.saved()) {
    say("cannot write the recording: " + result.failure);
    return {};
  }
  *asked = !request_.output;
  return result.path;
}

int Recorder::finish(int loopStatus) {
  clearStatus();
  if (failure_) return *failure_;
  if (startedAtWall_ == 0) {
    say("stopped before the helper answered; nothing was recorded");
    return loopStatus;
  }
  recording_ = false;
  // Ended before its duration or its command, or without its helper: the picture says so.
  const bool cutShort = helperLost_ || duration_.isActive() ||
                        (command_ && command_->state() != QProcess::NotRunning);
  duration_.stop();
  if (command_ && command_->state() != QProcess::NotRunning) {
    command_->terminate();
    if (!command_->waitForFinished(kCommandStopMs)) {
      command_->kill();
      command_->waitForFinished(kCommandStopMs);
    }
  }
  const double recorded =
      std::chrono::duration<double>(headless::HeadlessSession::Clock::now() - startedAt_).count();

  bool asked = false;
  const std::string path = write(logfile::text(rows_), &asked);
  std::fputs(summary_.text(recorded).c_str(), stderr);
  if (!path.empty()) say("saved at " + path);

  int status = 0;
  if (commandStatus_)
    status = *commandStatus_;
  else if (helperLost_)
    status = headless::exitCode(headless::Failure::NotRunning);
  if (status == 0 && !asked) status = kCannotWrite;
  if (request_.plot && !path.empty() && !drawRecording(path, *request_.plot, cutShort) &&
      status == 0)
    status = kCannotWrite;
  return status;
}

}  // namespace record
