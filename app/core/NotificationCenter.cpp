#include "app/core/NotificationCenter.h"

#include <algorithm>
#include <atomic>

#include "app/core/Dispatch.h"

struct NotificationCenter::Entry {
  Token token = 0;
  std::string name;
  Handler handler;
  bool hasQObjectOwner = false;
  QPointer<const QObject> qobjectOwner;
  bool hasWeakOwner = false;
  std::weak_ptr<const void> weakOwner;
  // Set under the center's mutex on removal; a delivery in progress checks it before each call.
  std::atomic<bool> removed{false};

  bool ownerGone() const {
    if (hasQObjectOwner && qobjectOwner.isNull()) return true;
    if (hasWeakOwner && weakOwner.expired()) return true;
    return false;
  }
};

NotificationCenter& NotificationCenter::defaultCenter() {
  // Leaked on purpose: observers may be removed from static destructors after main returns.
  static NotificationCenter* center = new NotificationCenter;
  return *center;
}

NotificationCenter::NotificationCenter() : context_(std::make_unique<QObject>()) {}

NotificationCenter::~NotificationCenter() = default;

NotificationCenter::Token NotificationCenter::addEntry(std::shared_ptr<Entry> entry) {
  std::lock_guard lock(mutex_);
  entry->token = nextToken_++;
  entries_.push_back(entry);
  return entry->token;
}

NotificationCenter::Token NotificationCenter::addObserver(std::string_view name, Handler handler) {
  auto entry = std::make_shared<Entry>();
  entry->name = name;
  entry->handler = std::move(handler);
  return addEntry(std::move(entry));
}

NotificationCenter::Token NotificationCenter::addObserver(std::string_view name,
                                                          const QObject* owner, Handler handler) {
  auto entry = std::make_shared<Entry>();
  entry->name = name;
  entry->handler = std::move(handler);
  entry->hasQObjectOwner = true;
  entry->qobjectOwner = owner;
  const Token token = addEntry(std::move(entry));
  if (owner) {
    // Direct connection: destroyed() runs in the owner's thread while it is being torn down.
    QObject::connect(
        owner, &QObject::destroyed, context_.get(), [this, token] { removeObserver(token); },
        Qt::DirectConnection);
  }
  return token;
}

NotificationCenter::Token NotificationCenter::addWeakObserver(std::string_view name,
                                                              std::weak_ptr<const void> owner,
                                                              Handler handler) {
  auto entry = std::make_shared<Entry>();
  entry->name = name;
  entry->handler = std::move(handler);
  entry->hasWeakOwner = true;
  entry->weakOwner = std::move(owner);
  return addEntry(std::move(entry));
}

void NotificationCenter::removeObserver(Token token) {
  std::shared_ptr<Entry> doomed;
  {
    std::lock_guard lock(mutex_);
    auto it = std::find_if(entries_.begin(), entries_.end(),
                           [token](const auto& e) { return e->token == token; });
    if (it == entries_.end()) return;
    doomed = std::move(*it);
    doomed->removed.store(true);
    entries_.erase(it);
  }
  // `doomed` (and the handler's captures) may be released here, outside the lock.
}

void NotificationCenter::post(std::string_view name) {
  std::vector<std::shared_ptr<Entry>> targets;
  {
    std::lock_guard lock(mutex_);
    // Entries whose weak owner has expired can never fire again; drop them while we are here.
    std::erase_if(entries_, [](const auto& e) {
      if (e->hasWeakOwner && e->weakOwner.expired()) {
        e->removed.store(true);
        return true;
      }
      return false;
    });
    for (const auto& e : entries_) {
      if (e->name == name) targets.push_back(e);
    }
  }
  // Handlers run without the lock, so they may add, remove and post freely.
  for (const auto& e : targets) {
    if (e->removed.load() || e->ownerGone()) continue;
    if (e->handler) e->handler();
  }
}

void NotificationCenter::postAsyncOnMain(std::string_view name) {
  dispatch::mainAsync([this, n = std::string(name)] { post(n); });
}

size_t NotificationCenter::observerCount(std::string_view name) const {
  std::lock_guard lock(mutex_);
  return static_cast<size_t>(std::count_if(entries_.begin(), entries_.end(), [name](const auto& e) {
    return e->name == name && !e->ownerGone();
  }));
}
