// Process-wide, name-based notifications with no sender and no payload.
//
// Posting delivers synchronously, on the posting thread, to every observer of that name that is
// registered when the post begins. Observers are told apart by the token addObserver returns.
// Registration, removal and posting may happen on any thread. An observer removed during a post
// (by itself or by another observer) is not called later in that post; observers added during a
// post are not called by it. Removal from another thread cannot stop a call already under way.
#pragma once

#include <QObject>
#include <QPointer>

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace notifications {
// Sample store, after each reply's model updates: module models announce their values.
inline constexpr std::string_view kUpdateView = "UpdateView";
// Sampling interval changed or the helper lost its authorization: models empty their histories.
inline constexpr std::string_view kClearData = "ClearData";
// The helper answered after an install.
inline constexpr std::string_view kXPCDidInstall = "XPCDidInstall";
// Installing failed, or the connection to the helper was interrupted.
inline constexpr std::string_view kXPCInstallError = "XPCInstallError";
// Posted by UserDefaults after every write, on the writing thread.
inline constexpr std::string_view kUserDefaultsDidChange = "UserDefaultsDidChange";
}  // namespace notifications

class NotificationCenter {
 public:
  using Handler = std::function<void()>;
  using Token = uint64_t;  // 0 is never handed out

  // The one center of the process; never destroyed.
  static NotificationCenter& defaultCenter();

  NotificationCenter();
  ~NotificationCenter();
  NotificationCenter(const NotificationCenter&) = delete;
  NotificationCenter& operator=(const NotificationCenter&) = delete;

  Token addObserver(std::string_view name, Handler handler);
  // The observer is skipped once `owner` is destroyed, and removed with it. Destroy the owner on
  // the thread that posts its notifications (for models: the main thread).
  Token addObserver(std::string_view name, const QObject* owner, Handler handler);
  // The observer is skipped once no shared_ptr holds `owner` (removed at the next post).
  template <typename T>
  Token addObserver(std::string_view name, std::weak_ptr<T> owner, Handler handler) {
    return addWeakObserver(name, std::weak_ptr<const void>(std::move(owner)), std::move(handler));
  }

  // Unknown or already removed tokens are ignored.
  void removeObserver(Token token);

  void post(std::string_view name);
  // Posts `name` from the main thread's event loop, later; returns at once. The center must
  // outlive that turn of the loop (the default center always does).
  void postAsyncOnMain(std::string_view name);

  // Observers currently registered for `name` (for diagnostics and tests).
  size_t observerCount(std::string_view name) const;

 private:
  struct Entry;
  Token addEntry(std::shared_ptr<Entry> entry);
  Token addWeakObserver(std::string_view name, std::weak_ptr<const void> owner, Handler handler);

  mutable std::mutex mutex_;
  std::vector<std::shared_ptr<Entry>> entries_;
  Token nextToken_ = 1;
  // Receives the owners' destroyed() signals; its own destruction cuts those connections.
  std::unique_ptr<QObject> context_;
};
