#include "app/log/LogFileItemView.h"

#include <QAction>
#include <QKeySequence>

#include "app/log/LogFileModel.h"

QAction* LogFileItemView::create(LogFileModel& model, QObject* parent) {
  auto* action = new QAction(QStringLiteral("Log to file"), parent);
  action->setCheckable(true);
  action->setChecked(model.isLogEnabled());
  // Qt's Ctrl is the Command key on a Mac keyboard.
  action->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_L));
  QObject::connect(action, &QAction::toggled, &model,
                   [&model](bool checked) { model.setIsLogEnabled(checked); });
  QObject::connect(&model, &LogFileModel::changed, action,
                   [action, &model] { action->setChecked(model.isLogEnabled()); });
  return action;
}
