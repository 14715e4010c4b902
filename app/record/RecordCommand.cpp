#include "app/record/RecordCommand.h"

#include <QCoreApplication>

#include "app/core/ExitStatus.h"
#include "app/core/UserDefaults.h"
#include "app/headless/HeadlessRuntime.h"
#include "app/model/GeneralModel.h"

namespace record {

int runRecord(RecordRequest request, int& argc, char** argv) {
  QCoreApplication app(argc, argv);
  headless::HeadlessRuntime runtime(app);
  GeneralModel& model = runtime.model();
  if (const std::optional<QString> folder = UserDefaults::standard().pathFolderLocation())
    request.chosenFolder = folder->toStdString();

  headless::HeadlessSession session(model, {});
  Recorder recorder(session, std::move(request));
  // Refused before anything runs: a FIFO or a device named by mistake is never replaced.
  if (const std::string problem = recorder.outputProblem(); !problem.empty()) {
    headless::say(problem + ": not a file to record into; nothing was recorded");
    return exitstatus::kCannotWrite;
  }
  session.start();
  QCoreApplication::exec();
  return recorder.finish();
}

}  // namespace record
