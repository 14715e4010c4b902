#include "app/core/Dispatch.h"

#include <QCoreApplication>
#include <QThread>
#include <QThreadPool>
#include <QTimer>

namespace dispatch {
namespace {

Work guardedByQObject(const QObject* owner, Work work) {
  return [owner = QPointer<const QObject>(owner), work = std::move(work)] {
    if (!owner.isNull()) work();
  };
}

Work guardedByLifetime(std::shared_ptr<Lifetime> owner, Work work) {
  return [owner = std::move(owner), work = std::move(work)] {
    if (!owner) return;
    // Entered for the whole run, so the owner's destructor on another thread waits for it.
    if (auto use = owner->enter()) work();
  };
}

}  // namespace

void mainAsync(Work work) {
  QCoreApplication* app = QCoreApplication::instance();
  if (!app || !work) return;
  // A queued call on an object of the main thread runs there, whatever thread queues it.
  QMetaObject::invokeMethod(app, std::move(work), Qt::QueuedConnection);
}

void mainAsync(const QObject* owner, Work work) {
  mainAsync(guardedByQObject(owner, std::move(work)));
}

void mainAsync(std::shared_ptr<Lifetime> owner, Work work) {
  mainAsync(guardedByLifetime(std::move(owner), std::move(work)));
}

void mainAfter(int ms, Work work) {
  if (!work) return;
  // The timer is started on the main thread, so callers need no event loop of their own.
  mainAsync([ms, work = std::move(work)]() mutable {
    QTimer::singleShot(ms < 0 ? 0 : ms, Qt::PreciseTimer, QCoreApplication::instance(),
                       std::move(work));
  });
}

void mainAfter(int ms, const QObject* owner, Work work) {
  mainAfter(ms, guardedByQObject(owner, std::move(work)));
}

void mainAfter(int ms, std::shared_ptr<Lifetime> owner, Work work) {
  mainAfter(ms, guardedByLifetime(std::move(owner), std::move(work)));
}

void globalAsync(Work work) {
  if (!work) return;
  QThreadPool::globalInstance()->start(std::move(work));
}

void globalAsync(const QObject* owner, Work work) {
  globalAsync(guardedByQObject(owner, std::move(work)));
}

bool isMainThread() {
  QCoreApplication* app = QCoreApplication::instance();
  return app && QThread::currentThread() == app->thread();
}

}  // namespace dispatch
