#include "app/ui/ModuleRows.h"

#include <QUuid>

#include <cmath>

QString ModuleRows::format(const char* printfFormat, double value) {
  if (!std::isfinite(value)) return QStringLiteral("\u2013");
  return QString::asprintf(printfFormat, value);
}

QString ModuleRows::newSeriesId() {
  return QUuid::createUuid().toString(QUuid::WithoutBraces);
}
