// Internals shared by the two XML readers (the direct one and the libplist one) and their tests.
#pragma once

#include <string>
#include <string_view>

#include "shared/plist/Plist.h"

namespace plist::detail {

// Deeper documents are refused rather than risking the stack on hostile input.
constexpr int kMaxDepth = 128;

// Returns `text` as valid UTF-8, each invalid sequence replaced by U+FFFD. For XML output the
// control characters XML 1.0 cannot carry are replaced too, so whatever we write reads back.
std::string cleanText(std::string_view text, bool forXml);

// parse() without the direct XML reader: every document goes through libplist.
ParseResult parseWithLibplist(std::string_view bytes);

}  // namespace plist::detail
