// Checks run before a document reaches libplist, each one linear in the document's size.
//
// libplist trusts its input in ways hostile documents exploit: its binary parser expands shared
// objects and recurses without a limit, its XML parser nests without a limit and its recursive
// free then overflows the stack, its number readers wrap out-of-range values, and its getters
// assert (aborting the whole process) on a string or key holding a NUL. Each check returns why
// the document must not be handed over, or an empty string when it may.
#pragma once

#include <string>
#include <string_view>

namespace plist::detail {

// A binary document: the trailer, the offset table and every object reachable from the root,
// each once. Documents too short to hold a trailer are left to libplist, which refuses them.
std::string checkBinary(std::string_view bytes);

// An XML document (already cut at its NUL).
std::string checkXml(std::string_view text);

// True when an XML document spells a NUL character as a character reference (&#0; or &#x0;).
bool xmlHasNulReference(std::string_view text);

}  // namespace plist::detail
