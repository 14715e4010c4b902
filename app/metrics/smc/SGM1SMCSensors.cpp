#include "app/metrics/smc/SGM1SMCSensors.h"

#include <cstring>

namespace {

constexpr uint32_t kRequestedSize = 4;

// The record's integers are in the machine's order, as the kernel interface defines it.
uint32_t load32(const SGM1SMCSensors::Record& r, size_t offset) {
  uint32_t v = 0;
  std::memcpy(&v, r.data() + offset, sizeof v);
  return v;
}

void store32(SGM1SMCSensors::Record& r, size_t offset, uint32_t v) {
  std::memcpy(r.data() + offset, &v, sizeof v);
}

}  // namespace

void SGM1SMCSensors::open() {
  uint32_t handle = conn_;
  if (client_.serviceOpen(&handle)) conn_ = handle;
}

void SGM1SMCSensors::close() {
  if (conn_ != 0) client_.serviceClose(conn_);
  conn_ = 0;
}

SGM1SMCSensors::Record SGM1SMCSensors::requestRecord(uint8_t command, uint32_t key,
                                                     uint32_t index) {
  Record r{};
  store32(r, kKeyOffset, key);
  store32(r, kDataSizeOffset, kRequestedSize);
  r[kCommandOffset] = command;
  store32(r, kIndexOffset, index);
  return r;
}

std::optional<SGM1SMCSensors::Record> SGM1SMCSensors::call(const Record& input) {
  Record output{};
  if (client_.callStructMethod(conn_, kStructMethod, input, output) != 0) return std::nullopt;
  return output;
}

std::optional<uint32_t> SGM1SMCSensors::readKeyCount() {
  auto bytes = readKeyBytes("#KEY");
  if (!bytes) return std::nullopt;
  const auto& b = *bytes;
  return (uint32_t{b[0]} << 24) | (uint32_t{b[1]} << 16) | (uint32_t{b[2]} << 8) | b[3];
}

std::optional<std::string> SGM1SMCSensors::readKeyAtIndex(uint32_t index) {
  auto out = call(requestRecord(kReadKeyAtIndex, 0, index));
  if (!out) return std::nullopt;
  return fourCharString(load32(*out, kKeyOffset));
}

std::optional<SGM1SMCSensors::KeyInfo> SGM1SMCSensors::readKeyInfo(std::string_view key) {
  auto out = call(requestRecord(kReadKeyInfo, fourCharCode(key)));
  if (!out) return std::nullopt;
  return KeyInfo{load32(*out, kDataSizeOffset), fourCharString(load32(*out, kDataTypeOffset))};
}

std::optional<SGM1SMCSensors::ValueBytes> SGM1SMCSensors::readKeyBytes(std::string_view key) {
  auto out = call(requestRecord(kReadBytes, fourCharCode(key)));
  if (!out) return std::nullopt;
  ValueBytes b;
  std::memcpy(b.data(), out->data() + kBytesOffset, b.size());
  return b;
}

double SGM1SMCSensors::decodeValue(std::string_view type, const ValueBytes& b) {
  if (type == "flt ") {
    const uint32_t bits =
        uint32_t{b[0]} | (uint32_t{b[1]} << 8) | (uint32_t{b[2]} << 16) | (uint32_t{b[3]} << 24);
    float f = 0;
    std::memcpy(&f, &bits, sizeof f);
    return f;
  }
  if (type == "fpe2") return static_cast<double>((unsigned{b[0]} << 6) | (unsigned{b[1]} >> 2));
  return -1.0;
}

uint32_t SGM1SMCSensors::fourCharCode(std::string_view text) {
  uint32_t code = 0;
  for (unsigned char c : text)
    code = (code << 8) | c;
  return code;
}

std::string SGM1SMCSensors::fourCharString(uint32_t code) {
  return {static_cast<char>(code >> 24), static_cast<char>(code >> 16),
          static_cast<char>(code >> 8), static_cast<char>(code)};
}
