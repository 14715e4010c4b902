// Writes one XML property list straight into a string, for the sampler's once-a-second document.
//
// Building a value tree and handing it to a general writer costs the short-lived sampler more
// than its own readings, so the document is written as it is walked. The bytes are the ones the
// project's general writer produces for the same values (tab indentation, the same number and
// date forms, the same escaping), so readers cannot tell the two apart. The caller writes
// dictionary keys in sorted order, as the general writer does. Not thread-safe; one per document.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "shared/plist/Plist.h"

namespace sampler {

class XmlPlistStream {
 public:
  XmlPlistStream();

  void beginDict();
  void endDict();
  void beginArray();
  void endArray();
  void key(std::string_view name);
  void integer(int64_t v);
  void real(double v);
  void string(std::string_view text);
  void date(plist::Date d);

  // The document with its epilogue; the stream is spent afterwards.
  std::string finish();

 private:
  void open(std::string_view tag);
  void close(std::string_view tag);
  void leaf(std::string_view tag, std::string_view text);
  void indent();

  std::string out_;
  int depth_ = 0;
  // Where the last container's opening tag ends, so a container left empty becomes "<tag/>".
  size_t openEnd_ = std::string::npos;
};

}  // namespace sampler
