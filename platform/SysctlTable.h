// A fixed set of sysctl values answered with sysctlbyname's byte semantics. Both back ends fill
// one: the Linux back end from /proc and /sys at start, the sim back end from its profile.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <variant>

#include "platform/Platform.h"

namespace platform {

class SysctlTable : public Sysctl {
 public:
  // A kernel integer is 32 bits wide unless the name is one of the 64-bit ones; strings are
  // handed out with their terminating zero byte, as the kernel does.
  using Entry = std::variant<int32_t, int64_t, std::string>;

  void set(std::string name, Entry value) { entries_[std::move(name)] = std::move(value); }
  bool contains(std::string_view name) const { return entries_.find(name) != entries_.end(); }
  const std::map<std::string, Entry, std::less<>>& entries() const { return entries_; }

  int sysctlbyname(std::string_view name, void* oldp, size_t* oldlenp) override;

 private:
  std::map<std::string, Entry, std::less<>> entries_;
};

}  // namespace platform
