#include "app/ui/SettingsView.h"

#include <QIcon>
#include <QScreen>
#include <QShortcut>
#include <QTabWidget>
#include <QVBoxLayout>

#include "app/model/GeneralModel.h"
#include "app/ui/GPUSettingsView.h"

namespace {
QPointer<SettingsView> openWindow;
}

SettingsView::SettingsView(LogFileModel& modelLogFile, UserDefaults& defaults,
                           GeneralSettingsView::FolderChooser chooser, QWidget* parent)
    : QWidget(parent, Qt::Window),
      tabs_(new QTabWidget(this)),
      general_(new GeneralSettingsView(modelLogFile, defaults, std::move(chooser))),
      gpu_(new GPUSettingsView(defaults)) {
  setWindowTitle(tr("Ferrolux Settings"));
  tabs_->addTab(general_, QIcon::fromTheme(QStringLiteral("preferences-system")), tr("General"));
  tabs_->addTab(gpu_, QIcon::fromTheme(QStringLiteral("view-grid")), tr("Extra"));
  tabs_->setCurrentIndex(static_cast<int>(Tabs::general));
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(8, 8, 8, 8);
  layout->addWidget(tabs_);
  setFixedSize(kWidth, kHeight);
  // Esc closes it, as it closes a dialog; an open picker's list takes its own Esc first.
  auto* close = new QShortcut(QKeySequence(Qt::Key_Escape), this);
  connect(close, &QShortcut::activated, this, &QWidget::close);
}

SettingsView* SettingsView::showSettingsWindow(GeneralModel& model, UserDefaults& defaults,
                                               GeneralSettingsView::FolderChooser chooser) {
  if (!openWindow) {
    openWindow = new SettingsView(model.logfileModel(), defaults, std::move(chooser));
    openWindow->setAttribute(Qt::WA_DeleteOnClose);
  }
  openWindow->show();
  openWindow->raise();
  openWindow->activateWindow();
  return openWindow;
}

SettingsView* SettingsView::instance() {
  return openWindow;
}

void SettingsView::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  centreOnScreen();
}

void SettingsView::centreOnScreen() {
  const QScreen* screen = this->screen();
  if (!screen) return;
  QRect frame = frameGeometry();
  frame.moveCenter(screen->availableGeometry().center());
  move(frame.topLeft());
}
