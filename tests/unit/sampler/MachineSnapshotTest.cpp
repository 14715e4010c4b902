// Every captured machine under tests/fixtures/sysfs, read the way the window's title (chip, core
// counts, GPU) and the root sampler read it, compared whole with the tree's stored snapshot.
// A new machine is a new tree: run with FERROLUX_UPDATE_SNAPSHOTS=1 to write its snapshot, then
// review it.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <sstream>

#include "platform/linux/LinuxGPU.h"
#include "platform/linux/LinuxSysctl.h"
#include "shared/plist/Plist.h"
#include "tools/powermetrics/DocumentWriter.h"
#include "tools/powermetrics/LinuxSampler.h"
#include "unit/core/Files.h"
#include "unit/sampler/TreeCopy.h"

namespace {

namespace fs = std::filesystem;
using sampler_test::fixture;
using sampler_test::TreeCopy;

std::optional<int64_t> integer(platform::SysctlTable& t, const char* name) {
  int32_t v = 0;
  size_t len = sizeof v;
  if (t.sysctlbyname(name, &v, &len) != 0) return std::nullopt;
  return v;
}

std::optional<std::string> text(platform::SysctlTable& t, const char* name) {
  char buf[256] = {};
  size_t len = sizeof buf;
  if (t.sysctlbyname(name, buf, &len) != 0) return std::nullopt;
  return std::string(buf);
}

TEST(MachineSnapshots, TitleAndSamplerMatchTheirSnapshots) {
  const fs::path trees = fixture("sysfs");
  const bool update = ::getenv("FERROLUX_UPDATE_SNAPSHOTS") != nullptr;
  int machines = 0;
  for (const auto& entry : fs::directory_iterator(trees)) {
    const std::string name = entry.path().filename().string();
    if (!entry.is_directory() || name.ends_with(".after")) continue;
    SCOPED_TRACE(name);
    ++machines;

    platform::SysctlTable title =
        platform::linux_sysctl::read(platform::linux_fs::Root(entry.path()), "");
    TreeCopy tree(entry.path());
    const fs::path after = trees / (name + ".after");
    sampler::LinuxOptions options{tree.root(), true, ""};
    const sampler::Sample sample = sampler::sampleLinux(options, 500, [&](int64_t) {
      if (fs::exists(after)) tree.copyOver(after);
      return int64_t{500'000'000};
    });

    std::ostringstream got;
    for (const char* key : {"machdep.cpu.brand_string", "hw.model"})
      got << key << ": " << text(title, key).value_or("(none)") << "\n";
    for (const char* key :
         {"hw.ncpu", "hw.nperflevels", "hw.perflevel0.logicalcpu", "hw.perflevel1.logicalcpu"}) {
      const auto v = integer(title, key);
      got << key << ": " << (v ? std::to_string(*v) : "(none)") << "\n";
    }
    // The title's GPU: its name, or none, which the title leaves out.
    platform::LinuxGPUStatistics gpu(platform::linux_fs::Root(entry.path()), nullptr);
    got << "gpu: " << gpu.read().name.value_or("(none)") << "\n";
    got << plist::write(sampler::sampleDocument(sample, plist::Date{0}), plist::Format::XML);

    const fs::path snapshot = trees / (name + ".snapshot");
    if (update) {
      fxtest::writeFile(snapshot, got.str());
      continue;
    }
    ASSERT_TRUE(fs::exists(snapshot)) << "no snapshot; run with FERROLUX_UPDATE_SNAPSHOTS=1";
    EXPECT_EQ(got.str(), fxtest::readFile(snapshot));
  }
  EXPECT_GE(machines, 9);
}

}  // namespace
