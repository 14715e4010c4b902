// The application's identity, in the keys a bundle's information list carries: the name, the
// version shown to people, the build version that updates are compared by, and the identifier.
// An empty field stands for a missing key, so readers apply their own fallbacks.
#pragma once

#include <QString>

struct BundleInfo {
  QString displayName;   // CFBundleDisplayName
  QString name;          // CFBundleName
  QString shortVersion;  // CFBundleShortVersionString
  QString version;       // CFBundleVersion
  QString identifier;    // CFBundleIdentifier

  // This program's own, from the build: the project's name, version and desktop identifier.
  static BundleInfo application();
};
