// A stand-in for the NVIDIA management library with fixed answers: graphics clock 1410 MHz,
// 37% busy, 250 W, and an energy counter that grows by 500 mJ per read.
extern "C" {

struct nvmlUtilization_st {
  unsigned int gpu;
  unsigned int memory;
};

static unsigned long long energyMj = 1000000;
static int initialised = 0;

int nvmlInit_v2() {
  ++initialised;
  return 0;
}
int nvmlShutdown() {
  --initialised;
  return 0;
}
int nvmlDeviceGetHandleByIndex_v2(unsigned int index, void** device) {
  if (index != 0 || initialised <= 0) return 2;
  static int token;
  *device = &token;
  return 0;
}
int nvmlDeviceGetClockInfo(void*, int type, unsigned int* mhz) {
  if (type != 0) return 2;
  *mhz = 1410;
  return 0;
}
int nvmlDeviceGetUtilizationRates(void*, nvmlUtilization_st* u) {
  u->gpu = 37;
  u->memory = 12;
  return 0;
}
int nvmlDeviceGetTotalEnergyConsumption(void*, unsigned long long* mj) {
  energyMj += 500;
  *mj = energyMj;
  return 0;
}
int nvmlDeviceGetPowerUsage(void*, unsigned int* mw) {
  *mw = 250000;
  return 0;
}
int fakeNvmlInitialisedCount() {
  return initialised;
}
}
