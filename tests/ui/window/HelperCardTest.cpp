// The window's helper card and refusal on a real root model over simulated Macs, with no
// helper answering: what covers the modules, what stays visible, and how the update prompt goes.
#include <QLabel>
#include <QPushButton>
#include <QtTest>

#include "app/ui/HelperCard.h"
#include "app/ui/ModuleViewMainTitle.h"
#include "ui/graph/GalleryHelpers.h"
#include "ui/window/WindowFixture.h"

using Window = fxtest::Window;

class HelperCardTest : public QObject {
  Q_OBJECT

 private slots:
  void refusalIsAllOnOtherProcessors();
  void helperCardCoversTheModulesButNotTheTitle();
  void updateButtonHidesAtOnce();
};

void HelperCardTest::refusalIsAllOnOtherProcessors() {
  Window w("macbookpro-intel");
  gallery::save(w.window->grab().toImage(), "window-refusal");
  QCOMPARE(w.interface().refusal()->text(), MainInterface::refusalText());
  QVERIFY(w.interface().refusal()->isVisible());
  QVERIFY(!w.interface().title() && w.interface().modules().isEmpty());
  QVERIFY(!w.interface().helperCard());
  // That the helper is never contacted is RootModelTest.RefusedProcessorNeverContactsTheHelper.
}

void HelperCardTest::helperCardCoversTheModulesButNotTheTitle() {
  Window w("macbookpro-m2pro");
  HelperCard* card = w.interface().helperCard();
  QVERIFY(card->isVisible());
  QVERIFY(card->installButton()->isVisible() && !card->updateButton()->isVisible());
  QCOMPARE(card->welcome()->text(), QString("Welcome"));
  // Its text keeps 64 pt clear on both sides, wrapped lines included.
  QVERIFY(card->text()->geometry().left() >= HelperCard::kTextPadding);
  QVERIFY(card->text()->geometry().right() < card->width() - HelperCard::kTextPadding);
  const QRect over(card->mapTo(w.window.get(), QPoint()), card->size());
  for (ModuleView* module : w.interface().modules()) {
    const QRect cardOnWindow(module->mapTo(w.window.get(), module->cardRect().topLeft().toPoint()),
                             module->cardRect().size().toSize());
    QVERIFY(over.contains(cardOnWindow));
  }
  const auto* title = w.interface().title();
  QVERIFY(!over.intersects(QRect(title->mapTo(w.window.get(), QPoint()), title->size())));
  QCOMPARE(title->texts().at(0), w.model->modelMainTitle().appleSiliconName());
  gallery::save(w.window->grab().toImage(), "window-install-prompt");
  w.model->xpcmanager().setAuthorized(true);
  w.interface().refresh();
  QVERIFY(!card->isVisible());
}

void HelperCardTest::updateButtonHidesAtOnce() {
  Window w("macbookpro-m2pro");
  w.model->xpcmanager().setUpdateNeeded(true);
  w.interface().refresh();
  HelperCard* card = w.interface().helperCard();
  QVERIFY(card->updateButton()->isVisible() && !card->installButton()->isVisible());
  QTest::mouseClick(card->updateButton(), Qt::LeftButton);
  QVERIFY(!card->updateButton()->isVisible());
  QVERIFY(w.interface().hideUpdateButton());
  QCOMPARE(card->text()->text(),
           QString("\nThe Ferrolux Powermetrics Helper need being updated\n"));
}

QTEST_MAIN(HelperCardTest)
#include "HelperCardTest.moc"
