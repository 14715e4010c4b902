#include "app/ui/MainWindow.h"

#include <QCoreApplication>
#include <QEvent>
#include <QGuiApplication>
#include <QLayout>
#include <QMenuBar>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QWindow>

#include "app/log/LogFileItemView.h"
#include "app/model/GeneralModel.h"
#include "app/ui/AboutDialog.h"
#include "app/ui/ContentView.h"
#include "app/ui/ModuleViewMoreButton.h"
#include "app/ui/SettingsView.h"

MainWindow::MainWindow(GeneralModel& model, UserDefaults& defaults, QWidget* parent)
    : QMainWindow(parent),
      content_(new ContentView(model, defaults)),
      scroll_(new QScrollArea(this)) {
  setWindowTitle(QStringLiteral("Ferrolux"));
  content_->setMoreButton(new ModuleViewMoreButton(model, defaults));
  // The content keeps its fixed width; only its height can be cut, and then it scrolls.
  scroll_->setFrameShape(QFrame::NoFrame);
  scroll_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  // The content keeps its own size: the area shows part of it, never squeezes it.
  scroll_->setWidgetResizable(false);
  scroll_->setWidget(content_);
  setCentralWidget(scroll_);
  content_->installEventFilter(this);
  buildMenus(model, defaults);
  setWindowFlag(Qt::WindowMaximizeButtonHint, false);
  setWindowFlag(Qt::WindowFullscreenButtonHint, false);
  fit(-1);
}

void MainWindow::buildMenus(GeneralModel& model, UserDefaults& defaults) {
  file_ = menuBar()->addMenu(tr("&File"));
  settings_ = file_->addAction(tr("&Settings..."), this, [&model, &defaults] {
    SettingsView::showSettingsWindow(model, defaults);
  });
  settings_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Comma));
  file_->addAction(tr("Check for &Update"), this, [&model] { model.sparkle().checkForUpdates(); });
  QAction* uninstall = file_->addAction(tr("&Uninstall Helper"), this,
                                        [&model] { model.xpcmanager().uninstallHelper(); });
  // Enabled as in the more-button menu: only while a helper is there to remove.
  connect(file_, &QMenu::aboutToShow, uninstall,
          [uninstall, &model] { uninstall->setEnabled(model.xpcmanager().isAuthorized()); });
  file_->addSeparator();
  // The same quit as the more-button menu's: the termination step runs on the way out.
  quit_ = file_->addAction(tr("&Quit"), this, [] { QCoreApplication::quit(); });
  quit_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
  // Both work from the settings window too.
  for (QAction* action : {settings_, quit_})
    action->setShortcutContext(Qt::ApplicationShortcut);

  logging_ = menuBar()->addMenu(tr("&Logging"));
  logging_->addAction(LogFileItemView::create(model.logfileModel(), logging_));
  help_ = menuBar()->addMenu(tr("&Help"));
  help_->addAction(tr("Ferrolux &Help"), this, [] { GeneralModel::contactDeveloper(); });
  help_->addAction(tr("&About Ferrolux"), this, [this] { AboutDialog::show(this); });
}

void MainWindow::fitToHeight(int available) {
  pinnedAvailable_ = available;
  fit(available);
}

void MainWindow::fit(int available) {
  // The menu bar's height as the window's layout gives it.
  int menu = 0;
  if (!menuBar()->isNativeMenuBar()) {
    menu = menuBar()->heightForWidth(ContentView::kWidth);
    if (menu < 0) menu = menuBar()->sizeHint().height();
  }
  content_->adjustSize();
  const int content = content_->height();
  const int frame = frameGeometry().height() - geometry().height();
  int height = menu + content;
  bool scrolls = false;
  if (available >= 0 && height + frame > available) {
    height = std::max(menu + 1, available - frame);
    scrolls = true;
  }
  const int bar = scrolls ? scroll_->verticalScrollBar()->sizeHint().width() : 0;
  setFixedSize(ContentView::kWidth + bar, height);
  if (scrolls) return;
  // The style may give the menu bar or the area a little more or less than their hints: the
  // laid-out viewport says exactly what the content still lacks.
  layout()->activate();
  const int lacking = content - scroll_->viewport()->height();
  if (lacking != 0) setFixedSize(ContentView::kWidth, height + lacking);
}

void MainWindow::fitToScreen() {
  const QScreen* screen = this->screen();
  const bool offscreen = QGuiApplication::platformName() == QLatin1String("offscreen");
  if (pinnedAvailable_) {
    fit(*pinnedAvailable_);
    return;
  }
  fit(screen && !offscreen ? screen->availableGeometry().height() : -1);
}

void MainWindow::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  fitToScreen();
  if (QWindow* handle = windowHandle()) {
    connect(handle, &QWindow::screenChanged, this, &MainWindow::fitToScreen, Qt::UniqueConnection);
  }
  if (QScreen* screen = this->screen()) {
    connect(screen, &QScreen::availableGeometryChanged, this, &MainWindow::fitToScreen,
            Qt::UniqueConnection);
  }
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
  // The content asks for a new size when its rows change (the helper card, the refusal).
  if (watched == content_ && event->type() == QEvent::LayoutRequest) fitToScreen();
  return QMainWindow::eventFilter(watched, event);
}
