// The text of `ferrolux --sensors`: the temperature source chosen for this machine, every
// temperature sensor it offers with its type, reading and whether it counts for the CPU, the GPU
// or neither, and the four values the temperature model stores from one sample. What a user runs
// when a new chip shows odd temperatures. Main thread.
#pragma once

#include <string>

#include "platform/Platform.h"

std::string formatSensors(platform::Platform& platform);
