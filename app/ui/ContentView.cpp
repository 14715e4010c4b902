#include "app/ui/ContentView.h"

#include <QVBoxLayout>

#include "app/ui/MainInterface.h"

ContentView::ContentView(GeneralModel& model, UserDefaults& defaults, QWidget* parent)
    : QWidget(parent), interface_(new MainInterface(model, defaults, this)) {
  auto* layout = new QVBoxLayout(this);
  // The cards' 1 pt shadow margins lie inside the horizontal padding, so the cards themselves
  // are 400 - 2 * 16 wide.
  layout->setContentsMargins(kPadding - 1, kInterfaceTop, kPadding - 1, kPadding);
  layout->addWidget(interface_);
  setFixedWidth(kWidth);
}

void ContentView::setMoreButton(QWidget* button) {
  delete moreButton_;
  moreButton_ = button;
  if (!moreButton_) return;
  moreButton_->setParent(this);
  placeMoreButton();
  moreButton_->show();
  moreButton_->raise();
}

void ContentView::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  placeMoreButton();
}

void ContentView::placeMoreButton() {
  if (!moreButton_) return;
  const QSize size = moreButton_->sizeHint();
  moreButton_->setGeometry(width() - kInterfaceTop - size.width(), kInterfaceTop, size.width(),
                           size.height());
}
