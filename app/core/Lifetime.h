// A guard that lets callbacks on other threads use an object only while it exists.
//
// Callbacks capture the guard (shared) and a plain pointer to its owner; each use runs inside
// enter(). The owner's destructor calls close() first: it waits for uses already under way and
// makes every later enter() fail, so no callback touches a half-destroyed object. close() must
// not be called from inside a use on the same thread.
//
// Unlike QPointer, which may only be made and tested on the thread that destroys its object,
// the guard may be entered on any thread while its owner is destroyed on another.
#pragma once

#include <condition_variable>
#include <memory>
#include <mutex>

class Lifetime {
 public:
  class Use {
   public:
    Use() = default;
    explicit Use(Lifetime* lifetime) : lifetime_(lifetime) {}
    Use(Use&& other) noexcept : lifetime_(other.lifetime_) { other.lifetime_ = nullptr; }
    Use& operator=(Use&&) = delete;
    ~Use() {
      if (lifetime_) lifetime_->leave();
    }
    explicit operator bool() const { return lifetime_ != nullptr; }

   private:
    Lifetime* lifetime_ = nullptr;
  };

  static std::shared_ptr<Lifetime> make() { return std::make_shared<Lifetime>(); }

  // A use that keeps the owner from finishing its destruction, or an empty one once closed.
  Use enter() {
    std::lock_guard lock(mutex_);
    if (closed_) return Use();
    ++active_;
    return Use(this);
  }

  void close() {
    std::unique_lock lock(mutex_);
    closed_ = true;
    idle_.wait(lock, [this] { return active_ == 0; });
  }

 private:
  void leave() {
    std::lock_guard lock(mutex_);
    if (--active_ == 0) idle_.notify_all();
  }

  std::mutex mutex_;
  std::condition_variable idle_;
  int active_ = 0;
  bool closed_ = false;
};
