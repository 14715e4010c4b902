// The helper's information list and job list, stored inside its own executable file.
#pragma once

#include <string_view>

#include "shared/plist/Plist.h"

namespace helper {

// The lists as XML text, exactly as they sit in the executable's sections.
std::string_view infoListText();
std::string_view jobListText();

// Parsed once; a None value if the text does not parse (never the case for a built helper).
const plist::Value& infoList();
const plist::Value& jobList();

}  // namespace helper
