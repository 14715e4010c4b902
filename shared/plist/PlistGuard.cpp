#include "shared/plist/PlistGuard.h"

#include <cctype>
#include <cstdint>

namespace plist::detail {
namespace {

constexpr size_t kTrailerSize = 32;

// Reads a big-endian unsigned integer of `width` bytes at `at`; false when out of range.
bool readUInt(std::string_view b, uint64_t at, unsigned width, uint64_t& out) {
  if (width == 0 || width > 8 || at > b.size() || b.size() - at < width) return false;
  out = 0;
  for (unsigned i = 0; i < width; ++i)
    out = (out << 8) | static_cast<uint8_t>(b[at + i]);
  return true;
}

// The element count of the object at `at` and where its payload starts.
bool objectLength(std::string_view b, uint64_t at, uint64_t& count, uint64_t& payload) {
  const uint8_t marker = static_cast<uint8_t>(b[at]);
  count = marker & 0x0F;
  payload = at + 1;
  if (count != 0x0F) return true;
  if (payload >= b.size()) return false;
  const uint8_t intMarker = static_cast<uint8_t>(b[payload]);
  if ((intMarker & 0xF0) != 0x10) return false;
  const unsigned width = 1u << (intMarker & 0x0F);
  if (!readUInt(b, payload + 1, width, count)) return false;
  payload += 1 + width;
  return true;
}

}  // namespace

bool binaryHasNulString(std::string_view b) {
  if (b.size() < 8 + kTrailerSize) return false;
  const uint64_t trailer = b.size() - kTrailerSize;
  const unsigned offsetSize = static_cast<uint8_t>(b[trailer + 6]);
  uint64_t objects = 0, tableOffset = 0;
  if (!readUInt(b, trailer + 8, 8, objects) || !readUInt(b, trailer + 24, 8, tableOffset))
    return false;
  if (offsetSize == 0 || offsetSize > 8 || tableOffset >= b.size()) return false;
  if (objects > (b.size() - tableOffset) / offsetSize) return false;
  for (uint64_t i = 0; i < objects; ++i) {
    uint64_t at = 0;
    if (!readUInt(b, tableOffset + i * offsetSize, offsetSize, at) || at >= trailer) continue;
    const uint8_t kind = static_cast<uint8_t>(b[at]) >> 4;
    if (kind != 0x5 && kind != 0x6) continue;  // ASCII and UTF-16 strings
    uint64_t count = 0, payload = 0;
    if (!objectLength(b, at, count, payload)) continue;
    const uint64_t unit = kind == 0x6 ? 2 : 1;
    if (payload > trailer || count > (trailer - payload) / unit) continue;
    for (uint64_t k = 0; k < count; ++k) {
      const uint64_t p = payload + k * unit;
      if (b[p] == '\0' && (unit == 1 || b[p + 1] == '\0')) return true;
    }
  }
  return false;
}

bool xmlHasNulReference(std::string_view t) {
  for (size_t at = t.find("&#"); at != std::string_view::npos; at = t.find("&#", at + 2)) {
    size_t p = at + 2;
    if (p < t.size() && (t[p] == 'x' || t[p] == 'X')) ++p;
    const size_t digits = p;
    while (p < t.size() && t[p] == '0')
      ++p;
    if (p > digits && p < t.size() && t[p] == ';') return true;
  }
  return false;
}

}  // namespace plist::detail
