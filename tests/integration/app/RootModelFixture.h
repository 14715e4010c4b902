// The root model as the application runs it, without a window: the real helper on a scratch
// socket, the real sampler behind it on a simulated machine, and the fixture that builds the
// model over them.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "app/core/UserDefaults.h"
#include "app/model/GeneralModel.h"
#include "integration/helper/HelperHarness.h"
#include "platform/sim/SimPlatform.h"
#include "unit/core/QtApp.h"

namespace rootmodel {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// macOS 13 (the combined power figure) and two performance clusters.
const std::string kProfile = harness::kSimProfileM2Pro;
const std::string kIntelProfile = FERROLUX_SOURCE_DIR "/data/profiles/macbookpro-intel.plist";

// The helper's tools folder: the real sampler behind a script that points it at the simulated
// machine (the helper passes it almost no environment), notes the arguments of every
// run, and keeps each run's document for the test to compare with.
struct SamplerTools {
  fs::path dir;
  explicit SamplerTools(const fs::path& root, const std::string& profile = kProfile)
      : dir(root / "tools") {
    harness::writeSimSampler(dir / "powermetrics", "$stamp",
                             "dir=$(dirname \"$0\")\nstamp=$(date +%s%N)\n"
                             "echo \"$stamp $*\" >> \"$dir/requests\"\n",
                             " > \"$dir/doc-$stamp.part\"\nrc=$?\n"
                             "cat \"$dir/doc-$stamp.part\"\n"
                             "mv \"$dir/doc-$stamp.part\" \"$dir/doc-$stamp\"\n"
                             "exit $rc",
                             profile);
  }

  // The arguments of every run so far, in the order the runs started.
  std::vector<std::string> requests() const {
    std::vector<std::string> out;
    std::istringstream in(harness::readFile(dir / "requests"));
    for (std::string line; std::getline(in, line);)
      out.push_back(line.substr(line.find(' ') + 1));
    return out;
  }

  // The documents of the finished runs, oldest first.
  std::vector<plist::Value> documents() const {
    std::map<std::string, fs::path> byStamp;  // equal-length stamps sort by time
    for (const auto& e : fs::directory_iterator(dir)) {
      const std::string name = e.path().filename().string();
      if (name.starts_with("doc-") && !name.ends_with(".part")) byStamp[name] = e.path();
    }
    std::vector<plist::Value> out;
    for (const auto& [name, path] : byStamp) {
      auto parsed = plist::parse(harness::readFile(path));
      out.push_back(parsed.ok() ? std::move(*parsed.value) : plist::Value());
    }
    return out;
  }
};

class GradedLoad : public platform::ProcessorLoad {
 public:
  std::vector<platform::CPUTicks> read() override {
    ++reads_;
    std::vector<platform::CPUTicks> ticks;
    for (int64_t n = 0; n < 16; ++n)
      ticks.push_back({.cpuNum = n, .user = n * reads_, .idle = (16 - n) * reads_});
    return ticks;
  }

 private:
  int64_t reads_ = 0;
};

class RootModelTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fxtest::coreApp();
    fxtest::drainEvents();
    endpoint = scratch.path / "h.sock";
    ::setenv("FERROLUX_HELPER_ENDPOINT", endpoint.c_str(), 1);
    defaults = std::make_unique<UserDefaults>(QString::fromStdString(scratch.path / "d.ini"));
    // The shortest sample, so replies come back well inside each one-second tick.
    defaults->setValue(defaults::kSamplingResolution, 100.0);
    defaults->setValue(defaults::kGPUFrequency, true);
  }

  // The simulated machine's CPUs take their load from a host whose CPU n is busy n/16 of the
  // time, so the E cores (the low numbers) are less busy than the P cores and a swap shows;
  // a real host's few CPUs would spread evenly over both kinds.
  std::unique_ptr<GeneralModel> makeModel(const std::string& profile) {
    auto loaded = platform::sim::loadProfile(profile);
    EXPECT_TRUE(loaded.profile) << loaded.error;
    machine = std::make_unique<platform::sim::SimPlatform>(std::move(*loaded.profile), profile,
                                                           std::make_unique<GradedLoad>());
    GeneralModel::Environment env;
    env.platform = machine.get();
    env.defaults = defaults.get();
    env.locations = helperlink::HelperLocations(harness::HelperProcess::kExecutable);
    return std::make_unique<GeneralModel>(std::move(env));
  }

  // Counts the requests as the store sends them, in this process, then passes them on.
  void countRequests(GeneralModel& model) {
    const SGPowerMetrics::HelperLink link = model.xpcmanager().powerMetricsLink();
    model.modelPowerMetrics().setHelperLink({.requestPowermetrics =
                                                 [this, link](double ms, bool gpu) {
                                                   ++sent;
                                                   link.requestPowermetrics(ms, gpu);
                                                 },
                                             .mayUseHelper = link.mayUseHelper});
  }

  harness::ScratchDir scratch;
  fs::path endpoint;
  std::unique_ptr<UserDefaults> defaults;
  std::unique_ptr<platform::Platform> machine;
  int sent = 0;  // requests counted by countRequests
};

}  // namespace rootmodel
