// Access to the System Management Controller through the AppleSMC user client: one 80-byte
// parameter record per request (read a key's bytes, the key at an index, a key's size and type),
// always through structure method 2. Every byte rule of the record lives here, so each platform's
// SMC (a real one, an emulator over hwmon, a sim profile) is driven exactly the same way.
//
// The object holds only the connection handle; callers pair open() and close() around each batch
// of requests. Not thread-safe: one caller at a time (the temperature model, on the main thread).
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/Platform.h"

class SGM1SMCSensors {
 public:
  using Record = platform::SMCUserClient::Record;
  using ValueBytes = std::array<uint8_t, 4>;

  struct KeyInfo {
    uint32_t dataSize = 0;
    std::string dataType;  // four characters, e.g. "flt "
  };

  explicit SGM1SMCSensors(platform::SMCUserClient& client) : client_(client) {}
  virtual ~SGM1SMCSensors() { close(); }
  SGM1SMCSensors(const SGM1SMCSensors&) = delete;
  SGM1SMCSensors& operator=(const SGM1SMCSensors&) = delete;

  // Connects to the SMC; without one `conn` stays as it was. A failed open's handle is kept as
  // the call left it, and every request on it then fails.
  void open();
  // Closes a non-zero handle; `conn` is 0 afterwards either way.
  void close();
  uint32_t conn() const { return conn_; }

  // "#KEY": the number of keys, most significant byte first.
  std::optional<uint32_t> readKeyCount();
  std::optional<std::string> readKeyAtIndex(uint32_t index);
  std::optional<KeyInfo> readKeyInfo(std::string_view key);
  std::optional<ValueBytes> readKeyBytes(std::string_view key);

  // "flt ": little-endian IEEE single; "fpe2": unsigned fixed point with two fraction bits, most
  // significant byte first, fraction dropped; any other type: -1.0.
  static double decodeValue(std::string_view type, const ValueBytes& bytes);

  // Four-character codes, first character in the most significant byte. Longer strings keep
  // their last four bytes; "" is 0.
  static uint32_t fourCharCode(std::string_view text) { return platform::fourCharCode(text); }
  static std::string fourCharString(uint32_t code) { return platform::fourCharString(code); }

  // The input record of one request: all zero but the key, dataSize 4, the command and index.
  static Record requestRecord(uint8_t command, uint32_t key, uint32_t index = 0);

 private:
  // One structure call; nullopt unless it returns 0.
  std::optional<Record> call(const Record& input);

  platform::SMCUserClient& client_;
  uint32_t conn_ = 0;
};
