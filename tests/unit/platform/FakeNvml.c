/* A stand-in for NVIDIA's management library with one GPU, so the run-time binding can be
   tested on machines without the driver. Signatures follow the library's C interface. */
#include <string.h>

typedef struct {
  unsigned int gpu;
  unsigned int memory;
} nvmlUtilization_t;

static int initialised;

int nvmlInit_v2(void) {
  initialised = 1;
  return 0;
}
int nvmlShutdown(void) {
  initialised = 0;
  return 0;
}
int nvmlDeviceGetHandleByIndex_v2(unsigned int index, void** device) {
  if (!initialised || index != 0) return 2; /* NVML_ERROR_INVALID_ARGUMENT */
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
  utilization->gpu = 42;
  utilization->memory = 7;
  return 0;
}
int nvmlDeviceGetNumGpuCores(void* device, unsigned int* cores) {
  (void)device;
  *cores = 16896;
  return 0;
}
