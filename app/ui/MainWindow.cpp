#include "app/ui/MainWindow.h"

#include <QLayout>
#include <QMenuBar>

#include "app/log/LogFileItemView.h"
#include "app/model/GeneralModel.h"
#include "app/ui/ContentView.h"
#include "app/ui/ModuleViewMoreButton.h"

MainWindow::MainWindow(GeneralModel& model, UserDefaults& defaults, QWidget* parent)
    : QMainWindow(parent), content_(new ContentView(model, defaults, this)) {
  setWindowTitle(QStringLiteral("Ferrolux"));
  setCentralWidget(content_);
  content_->setMoreButton(new ModuleViewMoreButton(model, defaults));
  logging_ = menuBar()->addMenu(tr("Logging"));
  logging_->addAction(LogFileItemView::create(model.logfileModel(), logging_));
  help_ = menuBar()->addMenu(tr("Help"));
  help_->addAction(tr("Ferrolux Help"), this, [] { GeneralModel::contactDeveloper(); });
  // The window takes its content's size and keeps it: no resizing, no zoom, no full screen.
  layout()->setSizeConstraint(QLayout::SetFixedSize);
  setWindowFlag(Qt::WindowMaximizeButtonHint, false);
  setWindowFlag(Qt::WindowFullscreenButtonHint, false);
}
