// The NVIDIA source over a stand-in library: readings, units, and the library's lifetime.
#include <gtest/gtest.h>

#include <dlfcn.h>

#include "tools/powermetrics/DocumentWriter.h"
#include "tools/powermetrics/LinuxSampler.h"
#include "tools/powermetrics/NvmlGpu.h"
#include "unit/sampler/TreeCopy.h"

namespace {

TEST(NvmlGpu, MissingLibraryIsSimplyUnavailable) {
  sampler::NvmlGpu gpu("libferrolux-no-such-library.so.1");
  EXPECT_FALSE(gpu.available());
  EXPECT_FALSE(gpu.read().freqMHz.has_value());
}

TEST(NvmlGpu, ReadsClockBusyEnergyAndShutsDown) {
  {
    sampler::NvmlGpu gpu(FAKE_NVML_LIBRARY);
    ASSERT_TRUE(gpu.available());
    auto a = gpu.read();
    auto b = gpu.read();
    EXPECT_EQ(a.freqMHz, 1410.0);
    EXPECT_DOUBLE_EQ(a.busy.value_or(-1), 0.37);
    EXPECT_EQ(*b.energyUj - *a.energyUj, 500'000u);  // millijoules become microjoules
    EXPECT_EQ(a.powerW, 250.0);
  }
  // Every init was matched by a shutdown when the source went away.
  void* lib = ::dlopen(FAKE_NVML_LIBRARY, RTLD_NOW | RTLD_NOLOAD);
  if (lib) {
    auto count = reinterpret_cast<int (*)()>(::dlsym(lib, "fakeNvmlInitialisedCount"));
    ASSERT_NE(count, nullptr);
    EXPECT_EQ(count(), 0);
    ::dlclose(lib);
  }
}

TEST(NvmlGpu, TakesPrecedenceOverDrmInTheSample) {
  sampler_test::TreeCopy tree(sampler_test::fixture("sysfs/amd-desktop"));
  sampler::LinuxOptions options{tree.root(), true, FAKE_NVML_LIBRARY};
  auto s = sampler::sampleLinux(options, 500, [](int64_t) { return int64_t{500'000'000}; });
  ASSERT_TRUE(s.gpu.has_value());
  EXPECT_EQ(s.gpu->freqMHz, 1410.0);
  EXPECT_DOUBLE_EQ(s.gpu->idleRatio.value_or(-1), 0.63);
  EXPECT_EQ(s.gpuEnergyMj, 500.0);  // the counter, not power times time
}

}  // namespace
