#include "app/ui/ApplicationIdentity.h"

#include <QGuiApplication>

QIcon ApplicationIdentity::icon() {
  return QIcon(QString::fromLatin1(kIconResource));
}

void ApplicationIdentity::apply() {
  QGuiApplication::setDesktopFileName(QString::fromLatin1(kDesktopFileName));
  QGuiApplication::setWindowIcon(icon());
}
