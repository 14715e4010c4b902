// The real-machine sampler over captured trees: each row copies a tree, changes it as the row
// says, lets a window pass in which the tree moves to its captured "after" state, and checks
// the values the application would parse out of the document.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "shared/plist/Plist.h"
#include "tools/powermetrics/DocumentWriter.h"
#include "tools/powermetrics/LinuxSampler.h"
#include "unit/sampler/TreeCopy.h"

namespace {

using sampler_test::fixture;
using sampler_test::TreeCopy;

constexpr int64_t kWindowNs = 500'000'000;

struct Edit {
  std::string path;
  std::optional<std::string> text;  // none: remove the file
};

struct ClusterExpect {
  std::string name;
  std::vector<int> cpus;
  std::optional<double> freqHz;
  std::optional<double> idle;
};

struct Case {
  std::string name;
  std::string tree;
  bool includeGpu = false;
  std::vector<Edit> before;  // applied to the copy before sampling starts
  std::vector<Edit> after;   // applied inside the window, after the captured "after" tree
  std::optional<double> cpuEnergy, gpuEnergy, dramEnergy, packageEnergy, combinedPower;
  std::vector<ClusterExpect> clusters;
  bool gpuEntry = false;
  std::optional<double> gpuFreqMHz, gpuIdle;
  std::string hwModel;
  std::map<std::string, std::string> unread;  // energy entries left out, and why
};

Case row(std::string name, std::string tree, bool includeGpu = false) {
  Case k;
  k.name = std::move(name);
  k.tree = std::move(tree);
  k.includeGpu = includeGpu;
  return k;
}

const std::string kPkg = "sys/class/powercap/intel-rapl:0/";
const std::string kDram = "sys/class/powercap/intel-rapl:0:2/";

std::vector<int> range(int lo, int hi) {
  std::vector<int> v;
  for (int i = lo; i <= hi; ++i)
    v.push_back(i);
  return v;
}

// The captured "after" counters with cpu15 gone offline during the window.
std::string statWithoutCpu15() {
  std::string out;
  std::ifstream in(fixture("sysfs/intel-hybrid-laptop.after/proc/stat"));
  for (std::string line; std::getline(in, line);) {
    if (!line.starts_with("cpu15 ")) out += line + "\n";
  }
  return out;
}

const ClusterExpect kIntelE{"E-Cluster", range(8, 15), 1.9e9, 0.8};
const ClusterExpect kIntelP{"P-Cluster", range(0, 7), 2.8e9, 0.2};

// The hybrid laptop's tree as captured: core 1500 mJ is the CPU; the package's 2500 mJ over
// 0.5 s is 5 W; the integrated GPU has no counter of its own, so the uncore plane's 300 mJ
// stands for it. The MMIO copy of the package zone must not be added in.
Case intel(std::string name, bool includeGpu = false) {
  Case k = row(std::move(name), "intel-hybrid-laptop", includeGpu);
  k.cpuEnergy = 1500, k.gpuEnergy = 300, k.dramEnergy = 200, k.packageEnergy = 2500;
  k.combinedPower = 5000;
  k.clusters = {kIntelE, kIntelP};
  k.hwModel = "XPS 13 9320";
  return k;
}

// Package only: it stands for the CPU too. The GPU's 45 W average over 0.5 s is 22.5 J. The
// favoured cores' slightly higher limit does not split the cores into two clusters.
Case amd(std::string name, bool includeGpu = false) {
  Case k = row(std::move(name), "amd-desktop", includeGpu);
  k.cpuEnergy = 33000, k.gpuEnergy = 22500, k.packageEnergy = 33000, k.combinedPower = 66000;
  k.clusters = {{"P-Cluster", range(0, 23), 3.9e9, 0.5}};
  k.hwModel = "ASRock X570 Taichi";
  k.unread = {{"dram_energy", "no zone"}};
  return k;
}

std::vector<Case> cases() {
  std::vector<Case> c;
  {
    Case k = intel("IntelHybridWithGpu", true);
    k.gpuEntry = true, k.gpuFreqMHz = 1100;
    c.push_back(k);
  }
  {
    Case k = intel("PackageCounterWrapsInsideTheWindow");
    k.before = {{kPkg + "energy_uj", "262142328850\n"}};
    k.after = {{kPkg + "energy_uj", "1499999\n"}};
    c.push_back(k);
  }
  {
    Case k = intel("WrapWithoutRangeLeavesPackageOut");
    k.before = {{kPkg + "energy_uj", "262142328850\n"}, {kPkg + "max_energy_range_uj", {}}};
    k.after = {{kPkg + "energy_uj", "1499999\n"}};
    k.packageEnergy = k.combinedPower = std::nullopt;
    k.unread = {{"package_energy", "no reading"}, {"combined_power", "no reading"}};
    c.push_back(k);
  }
  {
    Case k = intel("MissingFilesLeaveTheirEntriesOut");
    // No DRAM counter, no core plane (the CPU falls back to the package), a second package
    // that vanishes in the window (a partial package sum would be wrong), no DMI.
    k.before = {{kDram + "energy_uj", {}},
                {"sys/class/powercap/intel-rapl:0:0", {}},
                {"sys/class/powercap/intel-rapl:2/name", "package-1\n"},
                {"sys/class/powercap/intel-rapl:2/energy_uj", "5\n"},
                {"sys/class/dmi", {}}};
    k.after = {{"sys/class/powercap/intel-rapl:2/energy_uj", {}}};
    k.cpuEnergy = k.dramEnergy = k.packageEnergy = k.combinedPower = std::nullopt;
    // The DRAM counter is back at the window's end: it was not read, but it is there.
    k.unread = {{"cpu_energy", "no zone"},
                {"package_energy", "no zone"},
                {"combined_power", "no zone"},
                {"dram_energy", "no reading"}};
    k.hwModel = "Linux";
    c.push_back(k);
  }
  {
    Case k = intel("NoHybridListsUsesPolicyFrequencies");
    k.before = {{"sys/devices/cpu_atom", {}}, {"sys/devices/cpu_core", {}}};
    c.push_back(k);
  }
  {
    Case k = intel("CpuGoneFromProcStatIsNotReported");
    k.after = {{"proc/stat", statWithoutCpu15()}};
    auto e = kIntelE;
    e.cpus = range(8, 14);
    e.freqHz = (1.8e9 + 1.9e9 + 2.0e9 + 2.1e9 + 1.7e9 + 1.8e9 + 1.9e9) / 7;
    k.clusters = {e, kIntelP};
    c.push_back(k);
  }
  {
    Case k = amd("AmdDesktopWithAmdgpu", true);
    k.gpuEntry = true, k.gpuFreqMHz = 2450, k.gpuIdle = 0.12;
    c.push_back(k);
  }
  c.push_back(amd("AmdWithoutGpuSamplerKeepsGpuEnergyOnly"));
  {
    Case k = row("VirtualMachineHasNoPowerSources", "vm-minimal", true);
    k.clusters = {{"P-Cluster", {0, 1}, 2096.022e6, (10.0 / 50 + 48.0 / 51) / 2}};
    k.hwModel = "Linux";
    for (const char* entry :
         {"cpu_energy", "package_energy", "combined_power", "dram_energy", "gpu_energy"})
      k.unread[entry] = "no zone";
    c.push_back(k);
  }
  return c;
}

void PrintTo(const Case& k, std::ostream* os) {
  *os << k.name;
}

class LinuxSamplerCases : public testing::TestWithParam<Case> {};

void apply(TreeCopy& tree, const std::vector<Edit>& edits) {
  for (const auto& e : edits) {
    if (e.text) {
      tree.write(e.path, *e.text);
    } else {
      tree.remove(e.path);
    }
  }
}

void expectNumber(const plist::Value& v, std::optional<double> want, const std::string& what) {
  if (!want) {
    EXPECT_TRUE(v.isNone()) << what << " should be absent";
    return;
  }
  ASSERT_TRUE(v.number().has_value()) << what << " missing";
  EXPECT_NEAR(*v.number(), *want, std::fabs(*want) * 1e-9 + 1e-9) << what;
}

TEST_P(LinuxSamplerCases, DocumentCarriesTheExpectedValues) {
  const Case& k = GetParam();
  TreeCopy tree(fixture("sysfs/" + k.tree));
  apply(tree, k.before);

  sampler::LinuxOptions options{tree.root(), k.includeGpu, ""};
  int64_t askedMs = 0;
  auto sample = sampler::sampleLinux(options, 500, [&](int64_t ms) {
    askedMs = ms;
    tree.copyOver(fixture("sysfs/" + k.tree + ".after"));
    apply(tree, k.after);
    return kWindowNs;
  });
  EXPECT_EQ(askedMs, 500);

  std::string bytes = sampler::writeDocument(sample, plist::Date{100.0});
  ASSERT_FALSE(bytes.empty());
  EXPECT_EQ(bytes.back(), '\0');
  auto parsed = plist::parse(bytes);
  ASSERT_TRUE(parsed.ok()) << parsed.error;
  const plist::Value& doc = *parsed.value;
  EXPECT_EQ(doc["elapsed_ns"].integer(), kWindowNs);
  ASSERT_NE(doc["hw_model"].string(), nullptr);
  EXPECT_EQ(*doc["hw_model"].string(), k.hwModel);
  EXPECT_EQ(doc["timestamp"].date(), plist::Date{100.0});

  const plist::Value& p = doc["processor"];
  expectNumber(p["cpu_energy"], k.cpuEnergy, "cpu_energy");
  expectNumber(p["gpu_energy"], k.gpuEnergy, "gpu_energy");
  expectNumber(p["dram_energy"], k.dramEnergy, "dram_energy");
  expectNumber(p["package_energy"], k.packageEnergy, "package_energy");
  expectNumber(p["combined_power"], k.combinedPower, "combined_power");
  std::map<std::string, std::string> unread;
  if (const auto* entries = p["unread_energy"].dict()) {
    for (const auto& [entry, why] : *entries)
      unread[entry] = why.string() ? *why.string() : "(not a string)";
  }
  EXPECT_EQ(unread, k.unread);

  ASSERT_EQ(p["clusters"].size(), k.clusters.size());
  for (size_t i = 0; i < k.clusters.size(); ++i) {
    const auto& want = k.clusters[i];
    const plist::Value& got = p["clusters"][i];
    ASSERT_NE(got["name"].string(), nullptr);
    EXPECT_EQ(*got["name"].string(), want.name);
    expectNumber(got["freq_hz"], want.freqHz, want.name + " freq_hz");
    expectNumber(got["idle_ratio"], want.idle, want.name + " idle_ratio");
    std::vector<int> cpus;
    for (size_t j = 0; j < got["cpus"].size(); ++j) {
      cpus.push_back(static_cast<int>(got["cpus"][j]["cpu"].integer().value_or(-1)));
    }
    EXPECT_EQ(cpus, want.cpus) << want.name;
  }

  if (!k.gpuEntry) {
    EXPECT_TRUE(doc["gpu"].isNone());
  } else {
    expectNumber(doc["gpu"]["freq_hz"], k.gpuFreqMHz, "gpu freq_hz");
    expectNumber(doc["gpu"]["idle_ratio"], k.gpuIdle, "gpu idle_ratio");
    expectNumber(doc["gpu"]["gpu_energy"], k.gpuEnergy, "gpu gpu_energy");
  }
}

INSTANTIATE_TEST_SUITE_P(Trees, LinuxSamplerCases, testing::ValuesIn(cases()),
                         [](const auto& info) { return info.param.name; });

// Per-CPU idle ratios of the virtual machine differ: a row-wide average would hide that.
TEST(LinuxSampler, PerCpuIdleRatiosComeFromEachCpusTicks) {
  TreeCopy tree(fixture("sysfs/vm-minimal"));
  sampler::LinuxOptions options{tree.root(), false, ""};
  auto s = sampler::sampleLinux(options, 100, [&](int64_t) {
    tree.copyOver(fixture("sysfs/vm-minimal.after"));
    return int64_t{100'000'000};
  });
  ASSERT_EQ(s.clusters.size(), 1u);
  ASSERT_EQ(s.clusters[0].cpus.size(), 2u);
  EXPECT_DOUBLE_EQ(s.clusters[0].cpus[0].idleRatio.value_or(-1), 10.0 / 50.0);
  EXPECT_DOUBLE_EQ(s.clusters[0].cpus[1].idleRatio.value_or(-1), 48.0 / 51.0);
  EXPECT_DOUBLE_EQ(s.clusters[0].idleRatio.value_or(-1), (10.0 / 50.0 + 48.0 / 51.0) / 2);
}

// An empty tree is a machine with nothing readable: still one valid document.
TEST(LinuxSampler, EmptyTreeGivesAnEmptyButValidDocument) {
  TreeCopy tree({});
  sampler::LinuxOptions options{tree.root(), true, ""};
  auto s = sampler::sampleLinux(options, 1, [](int64_t) { return int64_t{1'000'000}; });
  auto parsed = plist::parse(sampler::writeDocument(s, plist::Date{}));
  ASSERT_TRUE(parsed.ok()) << parsed.error;
  EXPECT_TRUE((*parsed.value)["processor"].isDict());
  EXPECT_EQ((*parsed.value)["processor"]["clusters"].size(), 0u);
  EXPECT_TRUE((*parsed.value)["gpu"].isNone());
}

}  // namespace

namespace {

TEST(LinuxSampler, NvidiaLibraryTakesPrecedenceOverDrm) {
  TreeCopy tree(fixture("sysfs/amd-desktop"));
  sampler::LinuxOptions options{tree.root(), true, FAKE_NVML_LIBRARY};
  auto s = sampler::sampleLinux(options, 500, [](int64_t) { return int64_t{500'000'000}; });
  ASSERT_TRUE(s.gpu.has_value());
  EXPECT_EQ(s.gpu->freqMHz, 1410.0);
  EXPECT_DOUBLE_EQ(s.gpu->idleRatio.value_or(-1), 0.63);
  EXPECT_EQ(s.gpuEnergyMj, 500.0);  // the counter, not power times time
}

}  // namespace
