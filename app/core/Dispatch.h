// Deferred work on the main thread's event loop and on the global thread pool.
//
// Every function may be called from any thread. The owner overloads hold their owner weakly and
// do nothing when it is gone by the time the work runs, so deferred work never touches a freed
// object. Work queued before a QCoreApplication exists, or after it is gone, is dropped.
//
// Which owner to pass: a QObject only from the thread it lives on (QPointer is neither made nor
// tested safely on a thread other than the one that destroys its object); from any other thread
// the owner's Lifetime, or a weak_ptr to it.
#pragma once

#include <QObject>
#include <QPointer>

#include <functional>
#include <memory>

#include "app/core/Lifetime.h"

namespace dispatch {

using Work = std::function<void()>;

// Runs `work` on the main thread in a later turn of its event loop, in the order queued.
void mainAsync(Work work);
void mainAsync(const QObject* owner, Work work);
void mainAsync(std::shared_ptr<Lifetime> owner, Work work);

// Runs `work` on the main thread after at least `ms` milliseconds.
void mainAfter(int ms, Work work);
void mainAfter(int ms, const QObject* owner, Work work);
void mainAfter(int ms, std::shared_ptr<Lifetime> owner, Work work);

// Runs `work` on a thread of the global pool.
void globalAsync(Work work);
void globalAsync(const QObject* owner, Work work);

// True on the thread that runs the application's event loop.
bool isMainThread();

namespace detail {
template <typename T>
Work guarded(std::weak_ptr<T> owner, Work work) {
  return [owner = std::move(owner), work = std::move(work)] {
    // Keep the owner alive while the work runs, or skip it.
    if (auto strong = owner.lock()) work();
  };
}
}  // namespace detail

template <typename T>
void mainAsync(std::weak_ptr<T> owner, Work work) {
  mainAsync(detail::guarded(std::move(owner), std::move(work)));
}
template <typename T>
void mainAfter(int ms, std::weak_ptr<T> owner, Work work) {
  mainAfter(ms, detail::guarded(std::move(owner), std::move(work)));
}
template <typename T>
void globalAsync(std::weak_ptr<T> owner, Work work) {
  globalAsync(detail::guarded(std::move(owner), std::move(work)));
}

}  // namespace dispatch
