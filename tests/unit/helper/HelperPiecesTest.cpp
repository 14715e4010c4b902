// The helper's pure pieces: sampler arguments, command line, file URLs.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "helper/EmbeddedInfo.h"
#include "helper/Options.h"
#include "helper/Sampler.h"
#include "helper/Uninstall.h"
#include "shared/xpc/EmbeddedInfo.h"
#include "shared/xpc/Protocol.h"

namespace {

TEST(SamplerArguments, IntervalAndSamplers) {
  struct Case {
    double ms;
    bool gpu;
    const char* interval;
    const char* samplers;
  };
  const Case cases[] = {
      {500, false, "500", "cpu_power"},
      {1000.0, true, "1000", "cpu_power,gpu_power"},
      {1000.9, false, "1000", "cpu_power"},
      {999.99, true, "999", "cpu_power,gpu_power"},
      {0.4, false, "0", "cpu_power"},
      {-2.7, false, "-2", "cpu_power"},  // toward zero, not down
      {9.2e18, false, "9200000000000000000", "cpu_power"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.ms);
    const auto args = helper::samplerArguments(c.ms, c.gpu);
    ASSERT_TRUE(args);
    EXPECT_EQ(*args,
              (std::vector<std::string>{"-n", "-10", "powermetrics", "-n", "1", "-i", c.interval,
                                        "--samplers", c.samplers, "-f", "plist"}));
  }
}

TEST(SamplerArguments, UnconvertibleIntervalsAreRefused) {
  for (double ms : {std::nan(""), std::numeric_limits<double>::infinity(),
                    -std::numeric_limits<double>::infinity(), 9.3e18, -9.3e18, 1e300}) {
    SCOPED_TRACE(ms);
    EXPECT_FALSE(helper::samplerArguments(ms, false));
    // The run is refused as a launch failure: a nil result, and no process started.
    EXPECT_EQ(helper::runSampler({}, ms, false), std::nullopt);
  }
}

TEST(Options, Parsing) {
  struct Case {
    std::vector<const char*> args;
    bool ok;
  };
  const Case cases[] = {
      {{}, true},
      {{"--listen", "/tmp/s", "--tools-dir", "/t", "--allow-uid", "1000", "--allow-uid", "0"},
       true},
      {{"--sampler-grace-ms", "250", "--nice-path", "/n", "--install-root", "/r",
        "--service-manager", "/m"},
       true},
      {{"--listen"}, false},
      {{"--bogus", "x"}, false},
      {{"--allow-uid", "-1"}, false},
      {{"--allow-uid", "12ab"}, false},
      {{"--allow-uid", ""}, false},
      {{"--allow-uid", "4294967295"}, false},  // the "no user" id
      {{"--sampler-grace-ms", "-5"}, false},
  };
  for (const auto& c : cases) {
    std::vector<char*> argv{const_cast<char*>("helper")};
    for (const char* a : c.args)
      argv.push_back(const_cast<char*>(a));
    std::string error;
    const auto o = helper::parseOptions(static_cast<int>(argv.size()), argv.data(), error);
    EXPECT_EQ(o.has_value(), c.ok) << (c.args.empty() ? "" : c.args[0]) << " " << error;
    EXPECT_EQ(error.empty(), c.ok);
  }
  std::vector<const char*> args{"h", "--allow-uid", "1000", "--allow-uid",
                                "7", "--tools-dir", "/t"};
  std::string error;
  const auto o = helper::parseOptions(7, const_cast<char**>(args.data()), error);
  ASSERT_TRUE(o);
  EXPECT_EQ(o->allowUids, (std::vector<uid_t>{1000, 7}));
  EXPECT_EQ(o->toolsDir, "/t");
}

TEST(Uninstall, PathsAndURLs) {
  const auto p = helper::installPaths("/scratch");
  EXPECT_EQ(p.jobFiles, (std::vector<std::string>{
                            "/scratch/etc/systemd/system/com.tarquell.powermetrics.socket",
                            "/scratch/etc/systemd/system/com.tarquell.powermetrics.service"}));
  EXPECT_EQ(p.executable, "/scratch/usr/local/libexec/ferrolux-helpers/com.tarquell.powermetrics");
  EXPECT_EQ(p.sampler, "/scratch/usr/local/libexec/ferrolux-helpers/powermetrics");
  EXPECT_EQ(helper::fileURL("/a b/c%d/é"), "file:///a%20b/c%25d/%C3%A9");
  EXPECT_EQ(helper::fileURL("/etc/x-y_z.~1"), "file:///etc/x-y_z.~1");
}

// What the helper believes of itself is what the application and the installer read from its
// file: the version it reports, and the job list the units are made from.
TEST(EmbeddedLists, AreTheOnesTheBuiltExecutableCarries) {
  const std::string exe = FERROLUX_BUILD_DIR "/helper/com.tarquell.powermetrics";
  const struct {
    const char* what;
    const plist::Value& own;
    std::string_view section;
  } lists[] = {{"info", helper::infoList(), xpc::kInfoSection},
               {"jobs", helper::jobList(), xpc::kJobsSection}};
  for (const auto& l : lists) {
    SCOPED_TRACE(l.what);
    ASSERT_TRUE(l.own.isDict());
    EXPECT_GT(l.own.size(), 0u);
    const auto fromFile = xpc::readEmbeddedList(exe, l.section);
    ASSERT_TRUE(fromFile);
    EXPECT_EQ(*fromFile, l.own);
  }
}

}  // namespace
