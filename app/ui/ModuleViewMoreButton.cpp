#include "app/ui/ModuleViewMoreButton.h"

#include <QApplication>
#include <QGraphicsOpacityEffect>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QToolButton>
#include <QWindow>

#include "app/model/GeneralModel.h"
#include "app/ui/ModuleViewMoreButtonButton.h"
#include "app/ui/ModuleViewMoreButtonMenuContent.h"
#include "app/ui/SettingsView.h"
#include "app/ui/Style.h"

namespace {
constexpr int kSymbolSize = 15;  // the 14 pt symbol's box
}

ModuleViewMoreButton::ModuleViewMoreButton(GeneralModel& model, UserDefaults& defaults,
                                           QWidget* parent)
    : QWidget(parent),
      background_(new ModuleViewMoreButtonButton(model.logfileModel(), this)),
      trigger_(new QToolButton(this)),
      symbol_(new QLabel(this)),
      fade_(new QGraphicsOpacityEffect(this)) {
  using W = ModuleViewMoreButtonButton;
  setFixedSize(W::kWidth, W::kHeight);
  background_->move(0, 0);

  // The trigger covers the background and draws nothing: the background and the symbol are
  // what the person sees. It takes focus from the keyboard (Tab) and opens with Space or Enter;
  // it never draws a focus ring, the hover background shows the focus instead.
  trigger_->setGeometry(0, 0, W::kWidth, W::kHeight);
  trigger_->setPopupMode(QToolButton::InstantPopup);
  trigger_->setFocusPolicy(Qt::TabFocus);
  trigger_->installEventFilter(this);
  trigger_->setAutoRaise(true);
  trigger_->setStyleSheet(
      QStringLiteral("QToolButton { border: none; background: transparent; }"
                     "QToolButton::menu-indicator { image: none; width: 0; }"));
  trigger_->setToolTip(tr("More"));
  auto* menu = new QMenu(trigger_);
  trigger_->setMenu(menu);
  content_ = new ModuleViewMoreButtonMenuContent(
      model,
      {[&model, &defaults] { SettingsView::showSettingsWindow(model, defaults); },
       [] { QCoreApplication::quit(); }},
      menu);

  // The symbol sits centred on the stack, which the background overhangs by one point at the
  // sides and at the bottom.
  symbol_->setAttribute(Qt::WA_TransparentForMouseEvents);
  symbol_->setGeometry(1 + (kWidth - kSymbolSize) / 2, (kHeight - kSymbolSize) / 2, kSymbolSize,
                       kSymbolSize);
  refreshSymbol();

  fade_->setOpacity(1.0);
  setGraphicsEffect(fade_);
  connect(qApp, &QGuiApplication::focusWindowChanged, this,
          &ModuleViewMoreButton::focusWindowChanged);
}

QSize ModuleViewMoreButton::sizeHint() const {
  return {ModuleViewMoreButtonButton::kWidth, ModuleViewMoreButtonButton::kHeight};
}

double ModuleViewMoreButton::opacity() const {
  return fade_->opacity();
}

void ModuleViewMoreButton::focusWindowChanged(QWindow* window) {
  // Qt reports the application's active window, or none when another application took over; a
  // move between two of our own windows passes through no null.
  setDimmed(window == nullptr);
}

void ModuleViewMoreButton::setDimmed(bool dimmed) {
  if (dimmed == isDimmed_) return;
  isDimmed_ = dimmed;
  fade_->setOpacity(dimmed ? kDimmedOpacity : 1.0);
}

void ModuleViewMoreButton::refreshSymbol() {
  symbol_->setPixmap(ellipsis(Style::isDark(palette()), devicePixelRatioF()));
}

bool ModuleViewMoreButton::eventFilter(QObject* watched, QEvent* event) {
  if (watched == trigger_) {
    if (event->type() == QEvent::FocusIn) background_->setHover(true);
    if (event->type() == QEvent::FocusOut) background_->setHover(underMouse());
    if (event->type() == QEvent::KeyPress) {
      const int key = static_cast<QKeyEvent*>(event)->key();
      // Space is the button's own; Enter and Return open it the same way.
      if (key == Qt::Key_Return || key == Qt::Key_Enter) {
        trigger_->showMenu();
        return true;
      }
    }
  }
  return QWidget::eventFilter(watched, event);
}

bool ModuleViewMoreButton::event(QEvent* event) {
  if (event->type() == QEvent::PaletteChange) refreshSymbol();
  // The trigger lies over the background and gets the pointer's events; its parent hears of
  // the pointer entering and leaving too.
  if (event->type() == QEvent::Enter) background_->setHover(true);
  if (event->type() == QEvent::Leave) background_->setHover(trigger_->hasFocus());
  return QWidget::event(event);
}

QPixmap ModuleViewMoreButton::ellipsis(bool dark, qreal devicePixelRatio) {
  QColor ink = Style::color(NamedColor::Label, dark);
  ink.setAlphaF(ink.alphaF() * 0.7f);
  for (const char* name : {"view-more-horizontal-symbolic", "view-more-symbolic"}) {
    const QIcon themed = QIcon::fromTheme(QString::fromLatin1(name));
    if (themed.isNull()) continue;
    QPixmap pixmap = themed.pixmap(QSize(kSymbolSize, kSymbolSize), devicePixelRatio);
    // Symbolic icons come in one ink; recolour them so they follow the appearance.
    QPainter p(&pixmap);
    p.setCompositionMode(QPainter::CompositionMode_SourceIn);
    p.fillRect(pixmap.rect(), ink);
    return pixmap;
  }
  QPixmap pixmap(QSize(kSymbolSize, kSymbolSize) * devicePixelRatio);
  pixmap.setDevicePixelRatio(devicePixelRatio);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  const QRectF box(0, 0, kSymbolSize, kSymbolSize);
  p.setPen(QPen(ink, 1.3));
  p.drawEllipse(box.adjusted(1, 1, -1, -1));
  p.setPen(Qt::NoPen);
  p.setBrush(ink);
  for (int i = -1; i <= 1; ++i)
    p.drawEllipse(QPointF(box.center().x() + i * 3.5, box.center().y()), 1.1, 1.1);
  return pixmap;
}
