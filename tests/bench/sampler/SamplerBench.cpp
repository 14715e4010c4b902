// Cost of one sample without its sleep: both readings of every source, the document built and
// written. The window callback returns at once, so only the sampler's own work is timed.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>

#include "tools/powermetrics/DocumentWriter.h"
#include "tools/powermetrics/LinuxSampler.h"
#include "tools/powermetrics/SimSampler.h"

namespace {

std::string tree(const std::string& name) {
  return (std::filesystem::path(FERROLUX_FIXTURES_DIR) / "sampler" / "sysfs" / name).string();
}

int64_t noWait(int64_t ms) {
  return ms * 1'000'000;
}

void runLinux(benchmark::State& state, const std::string& root, const std::string& nvml) {
  sampler::LinuxOptions options{root, true, nvml};
  size_t bytes = 0;
  for (auto _ : state) {
    auto sample = sampler::sampleLinux(options, 500, noWait);
    std::string doc = sampler::writeDocument(sample, sampler::currentDate());
    bytes = doc.size();
    benchmark::DoNotOptimize(doc.data());
  }
  state.counters["doc_bytes"] = static_cast<double>(bytes);
}

void BM_SampleIntelHybridTree(benchmark::State& state) {
  runLinux(state, tree("intel-hybrid"), "");
}
void BM_SampleAmdDesktopTree(benchmark::State& state) {
  runLinux(state, tree("amd-desktop"), "");
}
void BM_SampleThisMachine(benchmark::State& state) {
  runLinux(state, "/", "libnvidia-ml.so.1");
}

void BM_SampleSimProfile(benchmark::State& state) {
  std::string error;
  auto profile = sampler::loadSimProfile((std::filesystem::path(FERROLUX_FIXTURES_DIR) /
                                          "sampler/profiles/macbook-pro-m1-max-13.plist")
                                             .string(),
                                         error);
  if (!profile) {
    state.SkipWithError(error.c_str());
    return;
  }
  sampler::SimOptions options{"/", true, 1};
  for (auto _ : state) {
    auto sample = sampler::sampleSim(*profile, options, 500, noWait);
    std::string doc = sampler::writeDocument(sample, sampler::currentDate());
    benchmark::DoNotOptimize(doc.data());
  }
}

BENCHMARK(BM_SampleIntelHybridTree)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SampleAmdDesktopTree)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SampleThisMachine)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SampleSimProfile)->Unit(benchmark::kMicrosecond);

}  // namespace
