// One linear walk over a binary document before libplist sees it.
//
// libplist's binary parser builds a separate node for every reference, so an object referenced
// twice is built twice: 32 levels of two-element arrays whose two entries name the same next
// array make a 170-byte document expand into 2^32 nodes. It also recurses once per level, and
// its getters assert on a string holding a NUL. This walk visits each object once, in the order
// the parser would reach it, and refuses what the parser must never be given: cycles, nesting
// past kMaxDepth, an expanded tree larger than kNodesPerByte per input byte, integers and dates
// the value type cannot hold, NUL characters in strings, and field widths it cannot read.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <vector>

#include "shared/plist/PlistDetail.h"
#include "shared/plist/PlistGuard.h"

namespace plist::detail {
namespace {

constexpr size_t kHeaderSize = 8;  // "bplist00"
constexpr size_t kTrailerSize = 32;

// Every node but the root is one reference of at least one byte, so a document whose writer
// shares only scalars stays under one node per byte. Twice that leaves room for writers that
// share more and still bounds libplist's tree, and its memory, by the document's size.
constexpr uint64_t kNodesPerByte = 2;

// Reads a big-endian unsigned integer of `width` (1 to 8) bytes at `at`; false when out of range.
bool readUInt(std::string_view b, uint64_t at, unsigned width, uint64_t end, uint64_t& out) {
  if (width == 0 || width > 8 || at > end || end - at < width) return false;
  out = 0;
  for (unsigned i = 0; i < width; ++i)
    out = (out << 8) | static_cast<uint8_t>(b[at + i]);
  return true;
}

struct Object {
  uint8_t kind = 0;    // the marker's high nibble
  uint64_t count = 0;  // references held (keys and values for a dictionary)
  uint64_t refs = 0;   // where they start
};

class Walk {
 public:
  explicit Walk(std::string_view b) : b_(b) {}

  std::string run() {
    if (b_.size() < kHeaderSize + kTrailerSize) return {};  // libplist refuses it by itself
    const uint64_t trailer = b_.size() - kTrailerSize;
    offsetSize_ = static_cast<uint8_t>(b_[trailer + 6]);
    refSize_ = static_cast<uint8_t>(b_[trailer + 7]);
    uint64_t root = 0;
    if (!readUInt(b_, trailer + 8, 8, b_.size(), objects_) ||
        !readUInt(b_, trailer + 16, 8, b_.size(), root) ||
        !readUInt(b_, trailer + 24, 8, b_.size(), table_))
      return "binary property list trailer unreadable";
    if (offsetSize_ == 0 || offsetSize_ > 8 || refSize_ == 0 || refSize_ > 8)
      return "binary property list field width unsupported";
    if (table_ < kHeaderSize || table_ >= trailer || objects_ == 0 ||
        objects_ > (trailer - table_) / offsetSize_ || root >= objects_)
      return "binary property list offset table out of range";
    budget_ = std::min<uint64_t>(kNodesPerByte * b_.size(), std::numeric_limits<uint32_t>::max());
    height_.assign(objects_, kUnseen);
    nodes_.assign(objects_, 0);
    return walkFrom(root);
  }

 private:
  static constexpr uint8_t kUnseen = 0xFF;  // height_ of an object not reached yet
  static constexpr uint8_t kOnPath = 0xFE;  // height_ of an object whose subtree is being walked
  static_assert(kMaxDepth < kOnPath);

  struct Frame {
    uint64_t index;
    Object object;
    uint64_t next = 0;   // the next reference to follow
    uint8_t height = 0;  // of the subtree so far
    uint64_t nodes = 1;  // in the expanded subtree so far, the object itself included
  };

  std::string walkFrom(uint64_t root) {
    std::vector<Frame> path;
    std::string error = enter(root, path);
    while (error.empty() && !path.empty()) {
      Frame& top = path.back();
      if (top.next == top.object.count) {
        height_[top.index] = top.height;
        nodes_[top.index] = static_cast<uint32_t>(top.nodes);
        const uint64_t done = top.index;
        path.pop_back();
        if (!path.empty()) error = addChild(path.back(), done, path.size());
        continue;
      }
      uint64_t child = 0;
      readUInt(b_, top.object.refs + top.next * refSize_, refSize_, table_, child);
      ++top.next;
      if (child >= objects_) return "binary property list reference out of range";
      if (height_[child] == kOnPath) return "binary property list refers to itself";
      if (height_[child] != kUnseen) {
        error = addChild(top, child, path.size());
      } else if (path.size() > static_cast<size_t>(kMaxDepth)) {
        return "property list nested too deeply";
      } else {
        error = enter(child, path);
      }
    }
    return error;
  }

  // Counts a finished child into its parent, whose depth is `depth` - 1.
  std::string addChild(Frame& parent, uint64_t child, size_t depth) {
    if (depth + height_[child] > static_cast<size_t>(kMaxDepth))
      return "property list nested too deeply";
    parent.height = std::max<uint8_t>(parent.height, height_[child] + 1);
    parent.nodes += nodes_[child];
    if (parent.nodes > budget_) return "binary property list expands past its size";
    return {};
  }

  // Reads the object and either finishes it (a scalar) or pushes it to have its references walked.
  std::string enter(uint64_t index, std::vector<Frame>& path) {
    Object object;
    if (std::string error = read(index, object); !error.empty()) return error;
    if (object.count == 0) {
      height_[index] = 0;
      nodes_[index] = 1;
      return path.empty() ? std::string() : addChild(path.back(), index, path.size());
    }
    height_[index] = kOnPath;
    path.push_back(Frame{index, object});
    return {};
  }

  // Checks one object where libplist will read it; containers report their references.
  std::string read(uint64_t index, Object& o) {
    uint64_t at = 0;
    readUInt(b_, table_ + index * offsetSize_, offsetSize_, b_.size(), at);
    if (at < kHeaderSize || at >= table_) return "binary property list object out of range";
    const uint8_t marker = static_cast<uint8_t>(b_[at]);
    o.kind = marker >> 4;
    const unsigned low = marker & 0x0F;
    uint64_t payload = at + 1;
    uint64_t length = low;
    const bool sized = o.kind == 0x4 || o.kind == 0x5 || o.kind == 0x6 || o.kind == 0xA ||
                       o.kind == 0xC || o.kind == 0xD;
    if (sized && low == 0x0F) {
      if (payload >= table_) return "binary property list object out of range";
      const uint8_t lengthMarker = static_cast<uint8_t>(b_[payload]);
      const unsigned width = 1u << (lengthMarker & 0x0F);
      if ((lengthMarker & 0xF0) != 0x10 || width > 8)
        return "binary property list length unreadable";
      if (!readUInt(b_, payload + 1, width, table_, length))
        return "binary property list object out of range";
      payload += 1 + width;
    }
    const uint64_t room = table_ - payload;
    switch (o.kind) {
      case 0x0:
        return low == 0x8 || low == 0x9 ? std::string() : "binary property list null object";
      case 0x1:
        return integer(payload, low);
      case 0x2:
        return (low == 2 || low == 3) && room >= (1u << low)
                   ? std::string()
                   : "binary property list real unreadable";
      case 0x3:
        return date(payload, low);
      case 0x4:
        return length <= room ? std::string() : "binary property list object out of range";
      case 0x5:
      case 0x6:
        return string(payload, length, o.kind == 0x6 ? 2 : 1);
      case 0x8:
        // libplist keeps identifiers up to 32 bits and refuses larger ones itself.
        return low < 8 && room > low ? std::string() : "binary property list identifier unreadable";
      case 0xA:
      case 0xC:
      case 0xD: {
        const uint64_t perEntry = o.kind == 0xD ? 2 : 1;
        if (length > room / refSize_ / perEntry) return "binary property list object out of range";
        o.count = length * perEntry;
        o.refs = payload;
        return {};
      }
      default:
        return "binary property list object of unknown type";
    }
  }

  // 1, 2 and 4-byte integers are unsigned, 8-byte ones signed; a 16-byte one holds a value only
  // when its upper half merely extends the lower half's sign.
  std::string integer(uint64_t payload, unsigned low) {
    if (low > 4 || table_ - payload < (1u << low)) return "binary property list integer unreadable";
    if (low < 4) return {};
    uint64_t high = 0, value = 0;
    readUInt(b_, payload, 8, table_, high);
    readUInt(b_, payload + 8, 8, table_, value);
    const bool negative = value >> 63;
    if (high != (negative ? ~uint64_t{0} : 0)) return "integer out of range";
    return {};
  }

  // Seconds since 2001 as a double, which libplist converts to 32-bit seconds unchecked.
  std::string date(uint64_t payload, unsigned low) {
    uint64_t bits = 0;
    if (low != 3 || !readUInt(b_, payload, 8, table_, bits))
      return "binary property list date unreadable";
    double seconds = 0;
    std::memcpy(&seconds, &bits, sizeof seconds);
    if (!std::isfinite(seconds) || seconds <= std::numeric_limits<int32_t>::min() - 1.0 ||
        seconds >= std::numeric_limits<int32_t>::max() + 1.0)
      return "date out of range";
    return {};
  }

  std::string string(uint64_t payload, uint64_t length, unsigned unit) {
    if (length > (table_ - payload) / unit) return "binary property list object out of range";
    for (uint64_t k = 0; k < length; ++k) {
      const uint64_t p = payload + k * unit;
      if (b_[p] == '\0' && (unit == 1 || b_[p + 1] == '\0'))
        return "property list holds a string with a NUL character";
    }
    return {};
  }

  std::string_view b_;
  uint8_t offsetSize_ = 0, refSize_ = 0;
  uint64_t objects_ = 0, table_ = 0, budget_ = 0;
  std::vector<uint8_t> height_;  // per object: kUnseen, kOnPath or the finished subtree's height
  std::vector<uint32_t> nodes_;  // per finished object: its expanded node count, at most budget_
};

}  // namespace

std::string checkBinary(std::string_view bytes) {
  return Walk(bytes).run();
}

}  // namespace plist::detail
