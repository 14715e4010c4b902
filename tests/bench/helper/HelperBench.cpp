// What one sampling request costs: the helper's own CPU time, the sampler run it starts, and
// the round trip of a liveness probe. Run by hand for figures:
//   build/release/tests/bench/helper/helper_bench
#include <benchmark/benchmark.h>

#include <sys/resource.h>

#include <filesystem>
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

double childrenCpuMs() {
  rusage ru{};
  ::getrusage(RUSAGE_CHILDREN, &ru);
  const auto ms = [](const timeval& t) { return t.tv_sec * 1e3 + t.tv_usec / 1e3; };
  return ms(ru.ru_utime) + ms(ru.ru_stime);
}

// The built sampler as the helper starts it once a second: "/usr/bin/nice", then the sampler
// reading this machine (arg 0), or a sim profile through a shell wrapper (arg 1) or through the
// compiled wrapper the development scripts use (arg 2), with the shortest window. The counter is
// the CPU time of the reaped run, which is what a sample costs.
void BM_BuiltSamplerRun(benchmark::State& state) {
  ScratchDir scratch;
  const auto tools = scratch.path / "tools";
  std::filesystem::create_directories(tools);
  if (state.range(0) == 0) {
    std::filesystem::create_symlink(kSamplerProgram, tools / "powermetrics");
  } else if (state.range(0) == 2) {
    std::filesystem::copy_file(FERROLUX_BUILD_DIR "/tools/powermetrics/ferrolux-sampler-env",
                               tools / "powermetrics");
    writeFile(tools / "powermetrics.env", "FERROLUX_SIM_PROFILE=" + kSimProfileM2Pro + "\n");
  } else {
    writeSimSampler(tools / "powermetrics", "");
  }
  helper::SamplerConfig config;
  config.searchPath = helper::searchPathWith(tools.string());
  const double before = childrenCpuMs();
  for (auto _ : state) {
    auto doc = helper::runSampler(config, 1, true);
    if (!doc || doc->empty()) return state.SkipWithError("the sampler wrote nothing");
  }
  state.counters["run_cpu_ms"] =
      (childrenCpuMs() - before) / static_cast<double>(state.iterations());
}
BENCHMARK(BM_BuiltSamplerRun)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();

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

// Genuine clients that connect, are admitted, ask once and leave, one after another: what the
// helper keeps of them. The counters are the growth of its descriptors and resident memory over
// all the iterations, measured once their connections have ended.
void BM_ClientComesAndGoes(benchmark::State& state) {
  Running r;
  if (!r.up()) return state.SkipWithError("helper did not start");
  auto cycle = [&] {
    auto c = xpc::Connection::connect(r.helper.socket, r.inbox.handlers());
    Promise<bool> alive;
    c->isResponding(alive.callback());
    const bool ok = alive.get().value_or(false);
    c->invalidate();
    return ok;
  };
  // Settled: the connections closed on this side have ended on the helper's too.
  auto settled = [&](size_t fds) {
    for (int i = 0; i < 500 && openDescriptors(r.helper.pid) > fds; ++i)
      std::this_thread::sleep_for(10ms);
    return openDescriptors(r.helper.pid);
  };
  const size_t before = openDescriptors(r.helper.pid);
  for (int i = 0; i < 20; ++i)
    cycle();  // first-use allocations (thread stacks, the helper's own chain) are the baseline
  const size_t fds = settled(before);
  const long rss = statusKiB(r.helper.pid);
  for (auto _ : state)
    if (!cycle()) return state.SkipWithError("a genuine client was not served");
  state.counters["fd_growth"] = static_cast<double>(settled(fds)) - static_cast<double>(fds);
  state.counters["rss_growth_kib"] = static_cast<double>(statusKiB(r.helper.pid) - rss);
}
BENCHMARK(BM_ClientComesAndGoes)->Iterations(1000)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
