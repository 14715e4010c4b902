// Counts the posts of one notification on the default center while it lives. Posts may come
// from any thread.
#pragma once

#include <atomic>
#include <string_view>

#include "app/core/NotificationCenter.h"

namespace fxtest {

class PostCounter {
 public:
  explicit PostCounter(std::string_view name)
      : token_(NotificationCenter::defaultCenter().addObserver(name, [this] { ++count; })) {}
  ~PostCounter() { NotificationCenter::defaultCenter().removeObserver(token_); }
  PostCounter(const PostCounter&) = delete;
  PostCounter& operator=(const PostCounter&) = delete;

  std::atomic<int> count{0};

 private:
  NotificationCenter::Token token_;
};

}  // namespace fxtest
