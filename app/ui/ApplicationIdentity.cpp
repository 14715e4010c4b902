#include "app/ui/ApplicationIdentity.h"

#include <QGuiApplication>

#include "app/core/BundleInfo.h"

QIcon ApplicationIdentity::icon() {
  return QIcon(QString::fromLatin1(kIconResource));
}

void ApplicationIdentity::apply() {
  QGuiApplication::setDesktopFileName(BundleInfo::application().identifier);
  QGuiApplication::setWindowIcon(icon());
}
