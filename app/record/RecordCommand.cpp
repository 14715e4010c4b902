#include "app/record/RecordCommand.h"

#include <QCoreApplication>

#include <clocale>

#include "app/QuitOnSignal.h"
#include "app/core/UserDefaults.h"
#include "app/model/AppDelegate.h"
#include "app/model/GeneralModel.h"

namespace record {

int runRecord(RecordRequest request, int& argc, char** argv) {
  QCoreApplication app(argc, argv);
  // Qt adopts the user's locale for the C library; libplist reads reals through it, so numbers
  // stay in the C locale.
  std::setlocale(LC_NUMERIC, "C");

  GeneralModel& model = GeneralModel::shared();
  AppDelegate delegate(app, [&model] { model.xpcmanager().client().sendCloseHelper(); });
  quitOnTerminationSignals(app);
  if (const std::optional<QString> folder = UserDefaults::standard().pathFolderLocation())
    request.chosenFolder = folder->toStdString();

  headless::HeadlessSession session(model, {});
  Recorder recorder(session, std::move(request));
  session.start();
  const int loopStatus = QCoreApplication::exec();
  return recorder.finish(loopStatus);
}

}  // namespace record
