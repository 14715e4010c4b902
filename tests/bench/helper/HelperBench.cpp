// What one sampling request costs: the helper's own CPU time, the sampler run it starts, and
// the round trip of a liveness probe. Run by hand for figures:
//   build/release/tests/bench/helper/helper_bench
#include <benchmark/benchmark.h>

#include <fstream>
#include <sstream>

#include "helper/Sampler.h"
#include "tests/integration/helper/HelperHarness.h"

namespace {

using namespace harness;

// utime+stime and cutime+cstime of a process, in milliseconds.
std::pair<double, double> cpuMs(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
  std::string stat((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::istringstream fields(stat.substr(stat.rfind(')') + 2));
  std::string f;
  long v[4] = {};
  for (int i = 3; i <= 17 && fields >> f; ++i)
    if (i >= 14) v[i - 14] = std::stol(f);
  const double tick = 1000.0 / static_cast<double>(::sysconf(_SC_CLK_TCK));
  return {(v[0] + v[1]) * tick, (v[2] + v[3]) * tick};
}

void BM_SamplerRun(benchmark::State& state) {
  helper::SamplerConfig config;
  config.searchPath = helper::searchPathWith(FERROLUX_FIXTURES_DIR "/helper");
  for (auto _ : state)
    benchmark::DoNotOptimize(helper::runSampler(config, 0, true));
}
BENCHMARK(BM_SamplerRun)->Unit(benchmark::kMillisecond)->UseRealTime();

struct Running {
  ScratchDir scratch;
  FakeTools tools{scratch.path};
  HelperProcess helper{scratch.path, {"--tools-dir", tools.dir.string()}};
  Inbox inbox;
  std::shared_ptr<xpc::Connection> connection;
  bool up() {
    if (!helper.ready()) return false;
    connection = xpc::Connection::connect(helper.socket, inbox.handlers());
    return true;
  }
};

void BM_HelperRequest(benchmark::State& state) {
  Running r;
  if (!r.up()) return state.SkipWithError("helper did not start");
  const auto before = cpuMs(r.helper.pid);
  for (auto _ : state) {
    r.connection->requestPowermetrics(0, true);
    if (!r.inbox.nextResult()) return state.SkipWithError("no result");
  }
  const auto after = cpuMs(r.helper.pid);
  const double n = static_cast<double>(state.iterations());
  state.counters["helper_cpu_ms_per_req"] = (after.first - before.first) / n;
  state.counters["sampler_cpu_ms_per_req"] = (after.second - before.second) / n;
}
BENCHMARK(BM_HelperRequest)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_LivenessRoundTrip(benchmark::State& state) {
  Running r;
  if (!r.up()) return state.SkipWithError("helper did not start");
  for (auto _ : state) {
    Promise<bool> alive;
    r.connection->isResponding(alive.callback());
    if (!alive.get()) return state.SkipWithError("no reply");
  }
}
BENCHMARK(BM_LivenessRoundTrip)->Unit(benchmark::kMicrosecond)->UseRealTime();

}  // namespace
