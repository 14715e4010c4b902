// A temperature reading set: sensor name (an SMC key or a HID location code, four characters) to
// degrees Celsius. Order carries no meaning; std::map keeps printing and tests deterministic.
#pragma once

#include <map>
#include <string>

using TemperatureReadings = std::map<std::string, double>;
