// Turns a sample into the property-list document the application parses.
//
// Units: energies in millijoules over the window (integers), "combined_power" in milliwatts,
// cluster and CPU "freq_hz" in hertz, the "gpu" entry's "freq_hz" in megahertz, idle ratios as
// fractions from 0 to 1, "elapsed_ns" in nanoseconds.
#pragma once

#include <string>

#include "shared/plist/Plist.h"
#include "tools/powermetrics/Sample.h"

namespace sampler {

plist::Value sampleDocument(const Sample& sample, plist::Date timestamp);

// The XML document followed by one NUL byte, the separator between consecutive documents:
// written directly, the same bytes that plist::write makes of sampleDocument().
std::string writeDocument(const Sample& sample, plist::Date timestamp);

// The current time in property-list terms.
plist::Date currentDate();

}  // namespace sampler
