/* A stand-in for NVIDIA's management library with one GPU, so the run-time binding can be
   tested on machines without the driver. Signatures follow the library's C interface. Fixed
   answers: 37% busy, graphics clock 1410 MHz, 250 W, 61 °C, and an energy counter that grows by 500 mJ
   per read. */
#include <string.h>

typedef struct {
  unsigned int gpu;
  unsigned int memory;
} nvmlUtilization_t;

static int initialised;
static unsigned long long energyMj = 1000000;

int nvmlInit_v2(void) {
  ++initialised;
  return 0;
}
int nvmlShutdown(void) {
  --initialised;
  return 0;
}
int nvmlDeviceGetHandleByIndex_v2(unsigned int index, void** device) {
  if (initialised <= 0 || index != 0) return 2; /* NVML_ERROR_INVALID_ARGUMENT */
  *device = (void*)&initialised;
  return 0;
}
int nvmlDeviceGetName(void* device, char* name, unsigned int length) {
  (void)device;
  strncpy(name, "NVIDIA H100 80GB HBM3", length);
  return 0;
}
int nvmlDeviceGetUtilizationRates(void* device, nvmlUtilization_t* utilization) {
  (void)device;
  utilization->gpu = 37;
  utilization->memory = 12;
  return 0;
}
int nvmlDeviceGetNumGpuCores(void* device, unsigned int* cores) {
  (void)device;
  *cores = 16896;
  return 0;
}
int nvmlDeviceGetClockInfo(void* device, int type, unsigned int* mhz) {
  (void)device;
  if (type != 0) return 2; /* only the graphics clock */
  *mhz = 1410;
  return 0;
}
int nvmlDeviceGetTotalEnergyConsumption(void* device, unsigned long long* mj) {
  (void)device;
  energyMj += 500;
  *mj = energyMj;
  return 0;
}
int nvmlDeviceGetPowerUsage(void* device, unsigned int* mw) {
  (void)device;
  *mw = 250000;
  return 0;
}
int nvmlDeviceGetTemperature(void* device, int sensor, unsigned int* celsius) {
  (void)device;
  if (sensor != 0) return 2; /* only the die */
  *celsius = 61;
  return 0;
}
/* Not part of the library: lets a test check that every init was matched by a shutdown. */
int fakeNvmlInitialisedCount(void) {
  return initialised;
}
