// The sampler takes exactly the vector the helper builds and nothing else.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tools/powermetrics/Arguments.h"

namespace {

struct ArgCase {
  std::string name;
  std::vector<std::string_view> args;
  bool accepted;
  int64_t intervalMs = 0;
  bool includeGpu = false;
};

std::vector<std::string_view> helperArgs(std::string_view ms, std::string_view samplers) {
  return {"-n", "1", "-i", ms, "--samplers", samplers, "-f", "plist"};
}

std::vector<ArgCase> argCases() {
  std::vector<ArgCase> c = {
      {"CpuOnly", helperArgs("500", "cpu_power"), true, 500, false},
      {"WithGpu", helperArgs("1000", "cpu_power,gpu_power"), true, 1000, true},
      {"ShortestWindow", helperArgs("1", "cpu_power"), true, 1, false},
      {"LongestWindow", helperArgs("3600000", "cpu_power"), true, 3600000, false},
      {"TruncatedFraction", helperArgs("999", "cpu_power"), true, 999, false},
      {"NoArguments", {}, false},
      {"FractionalMs", helperArgs("999.99", "cpu_power"), false},
      {"ZeroMs", helperArgs("0", "cpu_power"), false},
      {"NegativeMs", helperArgs("-500", "cpu_power"), false},
      {"PlusSign", helperArgs("+500", "cpu_power"), false},
      {"LeadingZero", helperArgs("0500", "cpu_power"), false},
      {"TooLong", helperArgs("3600001", "cpu_power"), false},
      {"Overflow", helperArgs("99999999999999999999", "cpu_power"), false},
      {"TrailingSpace", helperArgs("500 ", "cpu_power"), false},
      {"EmptyMs", helperArgs("", "cpu_power"), false},
      {"GpuOnly", helperArgs("500", "gpu_power"), false},
      {"SamplersReversed", helperArgs("500", "gpu_power,cpu_power"), false},
      {"ExtraSampler", helperArgs("500", "cpu_power,gpu_power,thermal"), false},
      {"AllSamplers", helperArgs("500", "all"), false},
      {"TwoSamples", {"-n", "2", "-i", "500", "--samplers", "cpu_power", "-f", "plist"}, false},
      {"TextFormat", {"-n", "1", "-i", "500", "--samplers", "cpu_power", "-f", "text"}, false},
      {"ShortSamplersFlag", {"-n", "1", "-i", "500", "-s", "cpu_power", "-f", "plist"}, false},
      {"Reordered", {"-i", "500", "-n", "1", "--samplers", "cpu_power", "-f", "plist"}, false},
      {"MissingFormat", {"-n", "1", "-i", "500", "--samplers", "cpu_power"}, false},
      {"ExtraArgument",
       {"-n", "1", "-i", "500", "--samplers", "cpu_power", "-f", "plist", "-o"},
       false},
      {"NiceprefixNotStripped",
       {"-n", "-10", "powermetrics", "-n", "1", "-i", "500", "--samplers", "cpu_power", "-f",
        "plist"},
       false},
  };
  return c;
}

TEST(Arguments, AcceptOnlyTheHelpersVector) {
  for (const ArgCase& k : argCases()) {
    SCOPED_TRACE(k.name);
    auto r = sampler::parseArguments(k.args);
    ASSERT_EQ(r.has_value(), k.accepted);
    if (r) {
      EXPECT_EQ(r->intervalMs, k.intervalMs);
      EXPECT_EQ(r->includeGpu, k.includeGpu);
    }
  }
}

}  // namespace
