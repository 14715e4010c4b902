// Orders version strings the way appcast feeds expect: a version is cut into runs of digits,
// runs of other text, and single separators ("." and other punctuation or spaces), and the runs
// are compared in turn. Digit runs compare by value of any length ("1.10" > "1.9", "010" ==
// "10"); text runs compare by their characters ("b" < "rc"). Where the types differ, a number
// beats text ("1.0" > "1.0b"), a number beats a separator ("1.0.1" > "1.0a"), and a
// separator beats text.
//
// When one version runs out first, trailing zero runs and separators of the other count as
// nothing ("1.0" == "1.0.0"); after them, text makes the longer one older ("1.0" > "1.0.0b")
// and anything else makes it newer ("1.0.1" > "1.0").
//
// Pure functions; safe on any thread.
#pragma once

#include <QString>

namespace update {

// Negative when `a` is older than `b`, zero when they are the same version, positive when newer.
int compareVersions(const QString& a, const QString& b);

}  // namespace update
