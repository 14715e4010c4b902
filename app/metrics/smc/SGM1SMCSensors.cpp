#include "app/metrics/smc/SGM1SMCSensors.h"

#include <cstring>

namespace {

using Smc = platform::SMCUserClient;

constexpr uint32_t kRequestedSize = 4;

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
  Smc::store32(r, Smc::kKeyOffset, key);
  Smc::store32(r, Smc::kDataSizeOffset, kRequestedSize);
  r[Smc::kCommandOffset] = command;
  Smc::store32(r, Smc::kIndexOffset, index);
  return r;
}

std::optional<SGM1SMCSensors::Record> SGM1SMCSensors::call(const Record& input) {
  Record output{};
  if (client_.callStructMethod(conn_, Smc::kStructMethod, input, output) != 0) return std::nullopt;
  return output;
}

std::optional<uint32_t> SGM1SMCSensors::readKeyCount() {
  auto bytes = readKeyBytes("#KEY");
  if (!bytes) return std::nullopt;
  const auto& b = *bytes;
  return (uint32_t{b[0]} << 24) | (uint32_t{b[1]} << 16) | (uint32_t{b[2]} << 8) | b[3];
}

std::optional<std::string> SGM1SMCSensors::readKeyAtIndex(uint32_t index) {
  auto out = call(requestRecord(Smc::kReadKeyAtIndex, 0, index));
  if (!out) return std::nullopt;
  return fourCharString(Smc::load32(*out, Smc::kKeyOffset));
}

std::optional<SGM1SMCSensors::KeyInfo> SGM1SMCSensors::readKeyInfo(std::string_view key) {
  auto out = call(requestRecord(Smc::kReadKeyInfo, fourCharCode(key)));
  if (!out) return std::nullopt;
  return KeyInfo{Smc::load32(*out, Smc::kDataSizeOffset),
                 fourCharString(Smc::load32(*out, Smc::kDataTypeOffset))};
}

std::optional<SGM1SMCSensors::ValueBytes> SGM1SMCSensors::readKeyBytes(std::string_view key) {
  auto out = call(requestRecord(Smc::kReadBytes, fourCharCode(key)));
  if (!out) return std::nullopt;
  ValueBytes b;
  std::memcpy(b.data(), out->data() + Smc::kBytesOffset, b.size());
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
