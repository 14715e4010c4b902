// A direct reader for XML property lists, building values straight from the bytes.
//
// The sampler's once-a-second document is plain XML: a prolog, one <plist> element, tags without
// attributes, a handful of entities. This reader accepts exactly that, strictly, and declines
// everything else (CDATA, unknown entities, odd number forms, dates outside libplist's range,
// malformed markup), so the caller can hand those to the libplist path, whose checks refuse
// what libplist would misread (numbers out of range, nesting past the limit). A document it
// does accept gives the same value the libplist path would give.
#pragma once

#include <optional>
#include <string_view>

#include "shared/plist/Plist.h"

namespace plist::detail {

// The value of one XML document (already cut at its NUL), or nullopt when declined.
std::optional<Value> readXml(std::string_view doc);

// The date of a <date> element's text, or nullopt unless it is the strict form within range.
std::optional<Value> readXmlDate(std::string_view text);

}  // namespace plist::detail
