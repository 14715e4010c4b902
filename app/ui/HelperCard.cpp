#include "app/ui/HelperCard.h"

#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/ui/Style.h"

HelperCard::HelperCard(QWidget* parent)
    : QWidget(parent),
      welcome_(new QLabel(tr("Welcome"), this)),
      text_(new QLabel(this)),
      install_(new QPushButton(tr("Install Helper"), this)),
      update_(new QPushButton(tr("Update Helper"), this)) {
  welcome_->setFont(Style::font(TextStyle::Title2, QFont::Medium));
  text_->setAlignment(Qt::AlignHCenter);
  text_->setWordWrap(true);
  // The padding is the layout's, not the label's own margins: a wrapping label measures its
  // height for the width it is given and lays its lines over those margins.
  auto* padded = new QHBoxLayout;
  padded->setContentsMargins(kTextPadding, 0, kTextPadding, 0);
  padded->addWidget(text_);
  auto* column = new QVBoxLayout(this);
  column->setSpacing(8);
  column->addStretch(1);
  column->addWidget(welcome_, 0, Qt::AlignHCenter);
  column->addLayout(padded);
  column->addWidget(install_, 0, Qt::AlignHCenter);
  column->addWidget(update_, 0, Qt::AlignHCenter);
  column->addStretch(1);
  connect(install_, &QPushButton::clicked, this, &HelperCard::installRequested);
  connect(update_, &QPushButton::clicked, this, &HelperCard::updateRequested);
  setForm(false, true);
}

void HelperCard::setForm(bool updateNeeded, bool showUpdateButton) {
  welcome_->setVisible(!updateNeeded);
  install_->setVisible(!updateNeeded);
  update_->setVisible(updateNeeded && showUpdateButton);
  text_->setText(updateNeeded
                     ? tr("\nThe Ferrolux Powermetrics Helper need being updated\n")
                     : tr("\nBefore to start you need to install the Ferrolux Powermetrics "
                          "Helper\n"));
}

void HelperCard::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  QColor fill = Style::color(NamedColor::WindowBackground, palette());
  fill.setAlphaF(float(kOpacity));
  QPainterPath card;
  card.addRoundedRect(QRectF(rect()), kCornerRadius, kCornerRadius);
  painter.fillPath(card, fill);
}
