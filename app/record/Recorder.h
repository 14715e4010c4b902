// One `ferrolux record` run on the root model without a window: once the helper's start-up check
// passes it starts the command (when there is one) and the duration, turns every sample into a
// CSV row in the logging format and into the energy summary, and keeps a one-line live status on
// a terminal. The run ends when the duration is over, the command exits, the helper is lost with
// no command to wait for, or the event loop is stopped (Ctrl-C and the other stop signals);
// finish() then writes the file and the summary and gives the exit status.
//
// A measurement is incomplete when the helper is lost or no sample comes for more than three
// sampling intervals; the summary then says so with the time the samples cover, and the exit
// status says so too (exitstatus::kIncomplete), unless the command itself failed.
//
// Threads: main thread only.
#pragma once

#include <QObject>
#include <QProcess>
#include <QTimer>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/headless/HeadlessSession.h"
#include "app/log/LogFileData.h"
#include "app/record/RecordSummary.h"

namespace record {

struct RecordRequest {
  std::optional<double> durationSeconds;    // --duration; none: until the command or a stop signal
  std::optional<std::string> output;        // --output FILE; none: the logging folder and name
  std::vector<std::string> command;         // after "--": program and arguments, no shell
  std::optional<std::string> chosenFolder;  // the logging folder setting, when set
  std::optional<std::string> plot;          // --plot FILE: a picture of the recording
};

class Recorder : public QObject {
  Q_OBJECT

 public:
  Recorder(headless::HeadlessSession& session, RecordRequest request, QObject* parent = nullptr);
  ~Recorder() override;

  // Whether `--output` may be written at all (not a FIFO, a device, a folder or a link to one);
  // "" when it may, or when there is none. Checked before recording starts.
  std::string outputProblem() const;

  // After the event loop has returned: ends the command if it still runs, writes the CSV,
  // prints the summary and returns the process exit status.
  int finish();

 private:
  void begin();
  void takeSample();
  void commandFinished(int exitCode, QProcess::ExitStatus status);
  void commandFailed(QProcess::ProcessError error);
  // Stops a command still running at the end; says how it had to be stopped.
  void stopCommand();
  // `stalled`: a silence past the stall limit made the measurement incomplete.
  int exitStatus(bool written, bool stalled) const;
  void showStatus(double watts);
  void clearStatus();
  std::string write(const std::string& text, bool* asked);

  headless::HeadlessSession& session_;
  const RecordRequest request_;
  QTimer duration_;
  std::unique_ptr<QProcess> command_;
  std::optional<int> commandStatus_;
  std::optional<int> failure_;  // the start-up check's exit status, when it failed
  bool recording_ = false;
  bool helperLost_ = false;
  const bool statusLine_;
  bool statusShown_ = false;
  headless::HeadlessSession::Clock::time_point startedAt_{};
  // When the last sample came: from the first sample to the end, a longer silence than three
  // sampling intervals marks the measurement incomplete, whatever the helper link says. The wait
  // for the first one is start-up (the helper starting its first sampler run), not a hole.
  std::optional<headless::HeadlessSession::Clock::time_point> lastArrival_;
  double longestSilence_ = 0;
  double startedAtWall_ = 0;
  std::optional<double> firstRowAt_;
  std::vector<LogFileData> rows_;
  RecordSummary summary_;
};

}  // namespace record
