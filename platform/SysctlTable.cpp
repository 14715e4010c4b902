#include "platform/SysctlTable.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace platform {

int SysctlTable::sysctlbyname(std::string_view name, void* oldp, size_t* oldlenp) {
  auto it = entries_.find(name);
  if (it == entries_.end() || oldlenp == nullptr) return -1;

  // The value's bytes in the machine's order, strings with their terminating zero.
  std::vector<uint8_t> bytes;
  std::visit(
      [&bytes](const auto& v) {
        using T = std::decay_t<decltype(v)>;
        if constexpr (std::is_same_v<T, std::string>) {
          bytes.assign(v.begin(), v.end());
          bytes.push_back(0);
        } else {
          bytes.resize(sizeof(T));
          std::memcpy(bytes.data(), &v, sizeof(T));
        }
      },
      it->second);

  if (oldp == nullptr) {
    *oldlenp = bytes.size();
    return 0;
  }
  const size_t n = std::min(*oldlenp, bytes.size());
  if (n > 0) std::memcpy(oldp, bytes.data(), n);
  *oldlenp = n;
  return 0;
}

}  // namespace platform
