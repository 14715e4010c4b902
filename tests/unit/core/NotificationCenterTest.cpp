#include "app/core/NotificationCenter.h"

#include <gtest/gtest.h>

#include <QObject>
#include <QThread>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "unit/core/QtApp.h"

namespace {

using Token = NotificationCenter::Token;

class NotificationCenterTest : public ::testing::Test {
 protected:
  void SetUp() override { fxtest::coreApp(); }
  NotificationCenter center;
  std::vector<std::string> calls;
  NotificationCenter::Handler record(std::string tag) {
    return [this, tag] { calls.push_back(tag); };
  }
};

TEST_F(NotificationCenterTest, DeliversByNameInRegistrationOrder) {
  center.addObserver("A", record("a1"));
  center.addObserver("B", record("b1"));
  center.addObserver("A", record("a2"));
  center.post("A");
  EXPECT_EQ(calls, (std::vector<std::string>{"a1", "a2"}));
  calls.clear();
  center.post("Unknown");
  EXPECT_TRUE(calls.empty());
}

// What one observer does to the others while a post is running, and who gets called.
struct DuringDelivery {
  const char* what;
  int actor;   // index of the observer that acts (0..2)
  int target;  // the observer it removes, or -1 to add a new one
  std::vector<std::string> firstPost;
  std::vector<std::string> secondPost;
};

TEST_F(NotificationCenterTest, ChangesDuringDelivery) {
  const std::vector<DuringDelivery> cases = {
      {"removes a later observer", 0, 2, {"0", "1"}, {"0", "1"}},
      {"removes itself", 1, 1, {"0", "1", "2"}, {"0", "2"}},
      {"removes an earlier observer", 2, 0, {"0", "1", "2"}, {"1", "2"}},
      {"adds an observer", 0, -1, {"0", "1", "2"}, {"0", "1", "2", "new"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    NotificationCenter local;
    std::vector<std::string> seen;
    std::vector<Token> tokens(3);
    bool acted = false;
    for (int i = 0; i < 3; ++i) {
      tokens[i] = local.addObserver("N", [&, i] {
        seen.push_back(std::to_string(i));
        if (i != c.actor || (acted && c.target >= 0)) return;
        acted = true;
        if (c.target >= 0) {
          local.removeObserver(tokens[c.target]);
        } else {
          local.addObserver("N", [&] { seen.push_back("new"); });
        }
      });
    }
    local.post("N");
    EXPECT_EQ(seen, c.firstPost);
    seen.clear();
    local.post("N");
    EXPECT_EQ(seen, c.secondPost);
  }
}

TEST_F(NotificationCenterTest, RemovedTokenIsNeverCalledAndDoubleRemovalIsHarmless) {
  const Token t = center.addObserver("N", record("x"));
  center.removeObserver(t);
  center.removeObserver(t);
  center.removeObserver(0);
  center.post("N");
  EXPECT_TRUE(calls.empty());
  EXPECT_EQ(center.observerCount("N"), 0u);
}

TEST_F(NotificationCenterTest, DeliversOnThePostingThread) {
  std::thread::id seenOn;
  center.addObserver("N", [&] { seenOn = std::this_thread::get_id(); });
  std::thread::id poster;
  std::thread worker([&] {
    poster = std::this_thread::get_id();
    center.post("N");
  });
  worker.join();
  EXPECT_EQ(seenOn, poster);
  EXPECT_NE(seenOn, std::this_thread::get_id());
}

TEST_F(NotificationCenterTest, QObjectOwnerGoneSkipsAndRemovesObserver) {
  auto* owner = new QObject;
  center.addObserver("N", owner, record("owned"));
  center.addObserver("N", static_cast<const QObject*>(nullptr), record("null-owner"));
  center.post("N");
  EXPECT_EQ(calls, (std::vector<std::string>{"owned"}));
  delete owner;
  calls.clear();
  center.post("N");
  EXPECT_TRUE(calls.empty());
  EXPECT_EQ(center.observerCount("N"), 0u);
}

TEST_F(NotificationCenterTest, WeakOwnerGoneSkipsObserver) {
  auto owner = std::make_shared<int>(1);
  center.addObserver("N", std::weak_ptr<int>(owner), record("weak"));
  center.post("N");
  EXPECT_EQ(calls.size(), 1u);
  owner.reset();
  center.post("N");
  EXPECT_EQ(calls.size(), 1u);
  EXPECT_EQ(center.observerCount("N"), 0u);
}

TEST_F(NotificationCenterTest, OwnerDestroyedDuringDeliveryIsNotCalledLater) {
  auto* owner = new QObject;
  center.addObserver("N", [&] { delete owner; });
  center.addObserver("N", owner, record("late"));
  center.post("N");
  EXPECT_TRUE(calls.empty());
}

TEST_F(NotificationCenterTest, ConcurrentRegistrationRemovalAndPosting) {
  std::atomic<int> delivered{0};
  constexpr int kThreads = 4;
  constexpr int kRounds = 500;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < kRounds; ++i) {
        const Token token = center.addObserver("N", [&] { delivered.fetch_add(1); });
        center.post("N");
        center.removeObserver(token);
      }
    });
  }
  for (auto& t : threads)
    t.join();
  // Every post saw at least its own observer.
  EXPECT_GE(delivered.load(), kThreads * kRounds);
  EXPECT_EQ(center.observerCount("N"), 0u);
}

TEST_F(NotificationCenterTest, PostAsyncOnMainRunsLaterOnTheMainThread) {
  QThread* seenOn = nullptr;
  center.addObserver("N", [&] { seenOn = QThread::currentThread(); });
  std::thread worker([&] { center.postAsyncOnMain("N"); });
  worker.join();
  EXPECT_EQ(seenOn, nullptr);  // not delivered synchronously
  ASSERT_TRUE(fxtest::pumpUntil([&] { return seenOn != nullptr; }));
  EXPECT_EQ(seenOn, QCoreApplication::instance()->thread());
}

}  // namespace
