#include "app/ui/MainInterface.h"

#include <QCoreApplication>
#include <QEvent>
#include <QLabel>
#include <QVBoxLayout>

#include "app/model/ContentModel.h"
#include "app/model/GeneralModel.h"
#include "app/ui/HelperCard.h"
#include "app/ui/ModuleView.h"
#include "app/ui/ModuleViewMainTitle.h"
#include "app/ui/ModuleViews.h"

namespace {

// Cards keep a 1 pt margin for their shadow; the spacing between modules counts from card to
// card: a 10 pt bottom padding plus the default spacing of 8.
constexpr int kModuleGap = 10 + 8 - 2 * 1;
constexpr int kSpacing = 8;

}  // namespace

QString MainInterface::refusalText() {
  return QCoreApplication::translate(
      "MainInterface",
      "This app is only for Apple Silicon Cores.\nIt is not working on Intel Cores");
}

MainInterface::MainInterface(GeneralModel& model, UserDefaults& defaults, QWidget* parent)
    : QWidget(parent), model_(model) {
  auto* column = new QVBoxLayout(this);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(kSpacing);
  if (model_.processorType() != "ARM") {
    refusal_ = new QLabel(refusalText(), this);
    refusal_->setAlignment(Qt::AlignCenter);
    column->addWidget(refusal_, 0, Qt::AlignCenter);
    return;
  }
  title_ = new ModuleViewMainTitle(model_.modelMainTitle(), this);
  // The title's texts line up with the cards' edges, inside their shadow margins.
  title_->setContentsMargins(1, 0, 1, 0);
  column->addWidget(title_);

  stack_ = new QWidget(this);
  auto* modules = new QVBoxLayout(stack_);
  modules->setContentsMargins(0, 0, 0, 0);
  modules->setSpacing(kModuleGap);
  modules_ = ModuleViews::create(model_, defaults);
  for (ModuleView* module : modules_)
    modules->addWidget(module);
  column->addWidget(stack_);

  card_ = new HelperCard(stack_);
  stack_->installEventFilter(this);
  connect(card_, &HelperCard::installRequested, this,
          [this] { model_.xpcmanager().installHelper(); });
  connect(card_, &HelperCard::updateRequested, this, &MainInterface::pressUpdate);
  refresh();
}

MainInterface::~MainInterface() = default;

void MainInterface::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (content_) return;
  content_ = ContentModel::create(model_);
  connect(content_.get(), &ContentModel::changed, this, &MainInterface::refresh);
  refresh();
}

void MainInterface::refresh() {
  if (!card_) return;
  const helperlink::XPCManager& manager = model_.xpcmanager();
  card_->setVisible(!manager.isAuthorized());
  card_->setForm(manager.isUpdateNeeded(), !hideUpdateButton_);
  card_->raise();
}

void MainInterface::pressUpdate() {
  // Hidden before the manager is called, so the button can't be pressed twice while the update
  // runs; it stays hidden for this view's lifetime.
  hideUpdateButton_ = true;
  refresh();
  model_.xpcmanager().updateHelper();
}

bool MainInterface::eventFilter(QObject* watched, QEvent* event) {
  if (watched == stack_ && (event->type() == QEvent::Resize || event->type() == QEvent::Show))
    placeCard();
  return QWidget::eventFilter(watched, event);
}

void MainInterface::placeCard() {
  // Over the cards themselves, not their shadow margins.
  card_->setGeometry(stack_->rect().adjusted(1, 1, -1, -1));
}
