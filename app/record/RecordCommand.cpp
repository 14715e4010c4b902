#include "app/record/RecordCommand.h"

#include <QCoreApplication>

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
  session.start();
  const int loopStatus = QCoreApplication::exec();
  return recorder.finish(loopStatus);
}

}  // namespace record
