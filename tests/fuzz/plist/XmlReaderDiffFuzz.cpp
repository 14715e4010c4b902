// Differential fuzzing of the direct XML reader: whenever it accepts a document, the libplist
// path must accept it too and give an equal value. Anything else aborts.
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string_view>

#include "shared/plist/PlistDetail.h"
#include "shared/plist/XmlReader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view doc(reinterpret_cast<const char*>(data), size);
  doc = doc.substr(0, doc.find('\0'));  // as parse() cuts a text document
  const std::optional<plist::Value> fast = plist::detail::readXml(doc);
  if (!fast) return 0;
  const plist::ParseResult slow = plist::detail::parseWithLibplist(doc);
  if (!slow.ok() || !(*slow.value == *fast)) std::abort();
  return 0;
}
