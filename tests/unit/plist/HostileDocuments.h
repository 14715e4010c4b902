// Builders for hostile property lists, shared by the parser's tests and the helper's: the large
// ones are generated rather than kept as files.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace hostile {

// A binary document from its objects' bytes: object 0 is the root, references are `refSize`
// bytes wide and offsets `offsetSize` bytes.
inline std::string binaryDoc(const std::vector<std::string>& objects, unsigned refSize = 1,
                             unsigned offsetSize = 4) {
  auto be = [](uint64_t v, unsigned width) {
    std::string out(width, '\0');
    for (unsigned i = width; i-- > 0; v >>= 8)
      out[i] = static_cast<char>(v & 0xFF);
    return out;
  };
  std::string doc = "bplist00", table;
  for (const std::string& o : objects) {
    table += be(doc.size(), offsetSize);
    doc += o;
  }
  const uint64_t tableAt = doc.size();
  return doc + table + std::string(6, '\0') + static_cast<char>(offsetSize) +
         static_cast<char>(refSize) + be(objects.size(), 8) + be(0, 8) + be(tableAt, 8);
}

// Object i an array of `width` references to object i + 1, `levels` deep, ending in true.
inline std::string binaryChain(int levels, int width, unsigned refSize, unsigned offsetSize = 4) {
  std::vector<std::string> objects;
  for (int i = 0; i < levels; ++i) {
    std::string o(1, static_cast<char>(0xA0 | width));
    for (int k = 0; k < width; ++k)
      for (unsigned b = refSize; b-- > 0;)
        o += static_cast<char>(((i + 1) >> (8 * b)) & 0xFF);
    objects.push_back(o);
  }
  objects.push_back("\x09");
  return binaryDoc(objects, refSize, offsetSize);
}

}  // namespace hostile
