// An AppleSMC user client answered from a table of keys, for machines without a real SMC. It
// speaks the 80-byte parameter record: read a key's bytes (5, with "#KEY" giving the key count),
// the key at an index (8) and a key's size and type (9), all through structure method 2.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Platform.h"

namespace platform {

struct SMCKey {
  std::string key;             // four characters, e.g. "Tp01"
  std::string type;            // four characters, e.g. "flt "
  std::vector<uint8_t> bytes;  // the value as the SMC sends it (at most 32 bytes)
};

// The bytes of a "flt " value: an IEEE-754 single in little-endian order.
std::vector<uint8_t> fltBytes(float value);

// IOKit result codes the emulator answers with.
inline constexpr int kIOReturnSuccess = 0;
inline constexpr int kIOReturnBadArgument = static_cast<int>(0xE00002C2u);
inline constexpr int kIOReturnNotFound = static_cast<int>(0xE00002F0u);
inline constexpr int kIOReturnUnsupported = static_cast<int>(0xE00002C7u);

class SMCEmulator : public SMCUserClient {
 public:
  // `snapshot` is asked for the current keys each time a client opens, so a live source (hwmon)
  // gives fresh readings for every batch of requests. An empty snapshot means no SMC at all.
  using Snapshot = std::function<std::vector<SMCKey>()>;
  explicit SMCEmulator(Snapshot snapshot) : snapshot_(std::move(snapshot)) {}

  std::optional<int> serviceOpen(uint32_t* conn) override;
  int callStructMethod(uint32_t conn, uint32_t selector, const Record& input,
                       Record& output) override;
  void serviceClose(uint32_t conn) override;

 private:
  Snapshot snapshot_;
  std::vector<SMCKey> keys_;
  uint32_t openConn_ = 0;
  uint32_t nextConn_ = 1;
};

}  // namespace platform
