#include "app/core/BundleInfo.h"

BundleInfo BundleInfo::application() {
  BundleInfo info;
  info.displayName = QStringLiteral("Ferrolux");
  info.name = QStringLiteral("Ferrolux");
  info.shortVersion = QStringLiteral(FERROLUX_VERSION);
  info.version = QStringLiteral(FERROLUX_VERSION);
  info.identifier = QStringLiteral("com.tarquell.Ferrolux");
  return info;
}
