// The "Log to file" toggle and the recorder follow each other both ways, and Ctrl+L in a window
// that holds the action toggles logging.
#include <QAction>
#include <QTemporaryDir>
#include <QWidget>
#include <QtTest>

#include "app/core/UserDefaults.h"
#include "app/log/LogFileItemView.h"
#include "app/log/LogFileModel.h"

class LogFileItemViewTest : public QObject {
  Q_OBJECT

 private slots:
  void toggleAndModelFollowEachOther();
};

void LogFileItemViewTest::toggleAndModelFollowEachOther() {
  QTemporaryDir dir;
  qputenv("HOME", dir.path().toUtf8());
  UserDefaults defaults(dir.filePath("d.ini"));
  LogFileModel model(defaults, nullptr, std::string());
  QWidget window;
  QAction* action = LogFileItemView::create(model, &window);
  window.addAction(action);
  QCOMPARE(action->text(), QStringLiteral("Log to file"));
  QCOMPARE(action->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_L));
  QVERIFY(action->isCheckable());
  QVERIFY(!action->isChecked());

  action->trigger();
  QVERIFY(model.isLogEnabled());
  QSignalSpy written(&model, &LogFileModel::logFileWritten);
  model.setIsLogEnabled(false);
  QVERIFY(!action->isChecked());
  QVERIFY(written.wait(10000) || written.count() == 1);

  window.show();
  QVERIFY(QTest::qWaitForWindowExposed(&window));
  QTest::keyClick(&window, Qt::Key_L, Qt::ControlModifier);
  QVERIFY(model.isLogEnabled());
  QVERIFY(action->isChecked());
  model.writeBeforeQuit();
  QVERIFY(!action->isChecked());
}

QTEST_MAIN(LogFileItemViewTest)
#include "LogFileItemViewTest.moc"
