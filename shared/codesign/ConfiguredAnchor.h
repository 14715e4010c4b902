// The anchor certificate this build was configured with (library fx_anchor, generated at
// configure time), for the programs that verify signatures.
#pragma once

#include <string_view>

namespace codesign {

std::string_view configuredAnchorPem();

}  // namespace codesign
