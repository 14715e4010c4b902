#include "platform/SMCEmulator.h"

#include <algorithm>
#include <cstring>

namespace platform {

uint32_t fourCharCode(std::string_view text) {
  uint32_t code = 0;
  for (unsigned char c : text)
    code = (code << 8) | c;
  return code;
}

std::string fourCharString(uint32_t code) {
  std::string s(4, '\0');
  for (int i = 0; i < 4; ++i)
    s[i] = static_cast<char>((code >> (24 - 8 * i)) & 0xFF);
  return s;
}

std::vector<uint8_t> fltBytes(float value) {
  uint32_t bits = 0;
  std::memcpy(&bits, &value, sizeof bits);
  return {static_cast<uint8_t>(bits), static_cast<uint8_t>(bits >> 8),
          static_cast<uint8_t>(bits >> 16), static_cast<uint8_t>(bits >> 24)};
}

std::optional<int> SMCEmulator::serviceOpen(uint32_t* conn) {
  std::vector<SMCKey> keys = snapshot_ ? snapshot_() : std::vector<SMCKey>{};
  if (keys.empty()) return std::nullopt;
  keys_ = std::move(keys);
  openConn_ = nextConn_++;
  if (nextConn_ == 0) nextConn_ = 1;
  if (conn) *conn = openConn_;
  return kIOReturnSuccess;
}

int SMCEmulator::callStructMethod(uint32_t conn, uint32_t selector, const Record& input,
                                  Record& output) {
  if (conn == 0 || conn != openConn_) return kIOReturnBadArgument;
  if (selector != kStructMethod) return kIOReturnUnsupported;
  output = input;

  const uint8_t command = input[kCommandOffset];
  const std::string key = fourCharString(load32(input, kKeyOffset));
  auto find = [this](const std::string& k) {
    return std::find_if(keys_.begin(), keys_.end(), [&k](const SMCKey& e) { return e.key == k; });
  };

  switch (command) {
    case kReadBytes: {
      std::fill(output.begin() + kBytesOffset, output.end(), 0);
      if (key == "#KEY") {
        const auto n = static_cast<uint32_t>(keys_.size());
        output[kBytesOffset] = static_cast<uint8_t>(n >> 24);
        output[kBytesOffset + 1] = static_cast<uint8_t>(n >> 16);
        output[kBytesOffset + 2] = static_cast<uint8_t>(n >> 8);
        output[kBytesOffset + 3] = static_cast<uint8_t>(n);
        return kIOReturnSuccess;
      }
      auto it = find(key);
      if (it == keys_.end()) return kIOReturnNotFound;
      std::copy_n(it->bytes.begin(), std::min(it->bytes.size(), kMaxBytes),
                  output.begin() + kBytesOffset);
      return kIOReturnSuccess;
    }
    case kReadKeyAtIndex: {
      const uint32_t index = load32(input, kIndexOffset);
      if (index >= keys_.size()) return kIOReturnNotFound;
      store32(output, kKeyOffset, fourCharCode(keys_[index].key));
      return kIOReturnSuccess;
    }
    case kReadKeyInfo: {
      auto it = find(key);
      if (it == keys_.end()) return kIOReturnNotFound;
      store32(output, kDataSizeOffset,
              static_cast<uint32_t>(std::min(it->bytes.size(), kMaxBytes)));
      store32(output, kDataTypeOffset, fourCharCode(it->type));
      return kIOReturnSuccess;
    }
    default:
      return kIOReturnBadArgument;
  }
}

void SMCEmulator::serviceClose(uint32_t conn) {
  if (conn != 0 && conn == openConn_) {
    openConn_ = 0;
    keys_.clear();
  }
}

}  // namespace platform
