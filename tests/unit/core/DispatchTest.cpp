#include "app/core/Dispatch.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QThread>
#include <QThreadPool>

#include <atomic>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "unit/core/QtApp.h"

namespace {

class DispatchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fxtest::coreApp();
    fxtest::drainEvents();
  }
  QThread* mainThread() const { return QCoreApplication::instance()->thread(); }
};

TEST_F(DispatchTest, MainAsyncFromAWorkerRunsOnTheMainThreadInOrder) {
  std::vector<int> order;
  std::vector<QThread*> threads;
  std::thread worker([&] {
    EXPECT_FALSE(dispatch::isMainThread());
    for (int i = 0; i < 5; ++i) {
      dispatch::mainAsync([&, i] {
        order.push_back(i);
        threads.push_back(QThread::currentThread());
      });
    }
  });
  worker.join();
  EXPECT_TRUE(order.empty());
  ASSERT_TRUE(fxtest::pumpUntil([&] { return order.size() == 5; }));
  EXPECT_EQ(order, (std::vector<int>{0, 1, 2, 3, 4}));
  for (QThread* t : threads)
    EXPECT_EQ(t, mainThread());
  EXPECT_TRUE(dispatch::isMainThread());
}

// Each way of deferring work, with its owner gone before the work runs.
struct DeadOwnerCase {
  const char* what;
  std::function<void(const QObject*, dispatch::Work)> withQObject;
  std::function<void(std::weak_ptr<int>, dispatch::Work)> withWeak;
};

TEST_F(DispatchTest, WorkOfADeadOwnerDoesNothing) {
  const std::vector<DeadOwnerCase> cases = {
      {"mainAsync", [](const QObject* o, dispatch::Work w) { dispatch::mainAsync(o, w); },
       [](std::weak_ptr<int> o, dispatch::Work w) { dispatch::mainAsync(o, w); }},
      {"mainAfter", [](const QObject* o, dispatch::Work w) { dispatch::mainAfter(5, o, w); },
       [](std::weak_ptr<int> o, dispatch::Work w) { dispatch::mainAfter(5, o, w); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::atomic<int> ran{0};
    std::atomic<int> alive{0};
    auto* deadQ = new QObject;
    auto liveQ = std::make_unique<QObject>();
    auto deadW = std::make_shared<int>(0);
    auto liveW = std::make_shared<int>(0);
    c.withQObject(deadQ, [&] { ran.fetch_add(1); });
    c.withWeak(deadW, [&] { ran.fetch_add(1); });
    c.withQObject(liveQ.get(), [&] { alive.fetch_add(1); });
    c.withWeak(liveW, [&] { alive.fetch_add(1); });
    delete deadQ;
    deadW.reset();
    ASSERT_TRUE(fxtest::pumpUntil([&] { return alive.load() == 2; }));
    QThreadPool::globalInstance()->waitForDone();
    fxtest::drainEvents();
    EXPECT_EQ(ran.load(), 0);
  }
}

TEST_F(DispatchTest, MainAfterWaitsAtLeastItsDelayAndRunsOnMain) {
  QElapsedTimer clock;
  clock.start();
  qint64 elapsed = -1;
  QThread* ranOn = nullptr;
  std::thread worker([&] {
    dispatch::mainAfter(30, [&] {
      elapsed = clock.elapsed();
      ranOn = QThread::currentThread();
    });
  });
  worker.join();
  ASSERT_TRUE(fxtest::pumpUntil([&] { return ranOn != nullptr; }));
  EXPECT_GE(elapsed, 30);
  EXPECT_EQ(ranOn, mainThread());
}

TEST_F(DispatchTest, GlobalAsyncSkipsWorkWhoseOwnerDiedWhileQueued) {
  QThreadPool* pool = QThreadPool::globalInstance();
  // Occupy every pool thread so the guarded work stays queued until the owners are gone.
  std::mutex gate;
  std::unique_lock hold(gate);
  for (int i = 0; i < pool->maxThreadCount(); ++i) {
    dispatch::globalAsync([&] { std::lock_guard wait(gate); });
  }
  std::atomic<int> ran{0};
  auto* deadQ = new QObject;
  auto deadW = std::make_shared<int>(0);
  dispatch::globalAsync(deadQ, [&] { ran.fetch_add(1); });
  dispatch::globalAsync(std::weak_ptr<int>(deadW), [&] { ran.fetch_add(1); });
  delete deadQ;
  deadW.reset();
  hold.unlock();
  pool->waitForDone();
  EXPECT_EQ(ran.load(), 0);
}

}  // namespace
