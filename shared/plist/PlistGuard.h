// Checks run before a document reaches libplist. Its getters assert (and so abort the whole
// process) on a string or key that holds a NUL character, which hostile input can produce, so
// such documents are refused up front.
#pragma once

#include <string_view>

namespace plist::detail {

// True when a binary document's object table holds a string with a NUL character. Documents
// whose tables cannot be read are left to the parser, which refuses them.
bool binaryHasNulString(std::string_view bytes);

// True when an XML document spells a NUL character as a character reference (&#0; or &#x0;).
bool xmlHasNulReference(std::string_view text);

}  // namespace plist::detail
