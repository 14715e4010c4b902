#include "app/ProcessSetup.h"

#include <clocale>

void keepNumbersInCLocale() {
  std::setlocale(LC_NUMERIC, "C");
}
