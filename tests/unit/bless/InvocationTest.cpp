// Who may run the installer, with which options, and on whose behalf.
#include <gtest/gtest.h>

#include "tools/bless/Options.h"
#include "tools/bless/Policy.h"

namespace {

using bless::Invoker;
using bless::Options;

std::optional<Options> parse(std::vector<const char*> args, std::string& error) {
  args.insert(args.begin(), "ferrolux-bless");
  return bless::parseOptions(static_cast<int>(args.size()), args.data(), error);
}

TEST(BlessOptions, ParsesTheInstallCommand) {
  std::string error;
  const auto o = parse({"install", "--helper", "/a/h", "--sampler", "/a/s", "--client", "/a/c",
                        "--root", "/r", "--service-manager", "/m", "--user", "alice"},
                       error);
  ASSERT_TRUE(o) << error;
  EXPECT_EQ(o->helper, "/a/h");
  EXPECT_EQ(o->sampler, "/a/s");
  EXPECT_EQ(o->client, "/a/c");
  EXPECT_EQ(o->root, "/r");
  EXPECT_EQ(o->serviceManager, "/m");
  EXPECT_EQ(o->user, "alice");
}

TEST(BlessOptions, RefusesMalformedLines) {
  const std::vector<std::vector<const char*>> lines = {
      {},
      {"uninstall"},
      {"install", "--helper", "/h", "--sampler", "/s"},
      {"install", "--helper", "/h", "--sampler", "/s", "--client"},
      {"install", "--helper", "/h", "--sampler", "/s", "--client", ""},
      {"install", "--helper", "/h", "--sampler", "/s", "--client", "/c", "--helper", "/h"},
      {"install", "--helper", "h", "--sampler", "/s", "--client", "/c"},
      {"install", "--helper", "/h", "--sampler", "/s", "--client", "/c", "--bogus", "x"},
      {"install", "--helper", "/h", "--sampler", "/s", "--client", "/c", "extra"},
      {"install", "--helper", "/h", "--sampler", "/s", "--client", "/c", "--root", "/r"},
      {"install", "--helper", "/h", "--sampler", "/s", "--client", "/c", "--service-manager",
       "systemctl"},
  };
  for (const auto& line : lines) {
    std::string error;
    EXPECT_FALSE(parse(line, error)) << testing::PrintToString(line);
    EXPECT_FALSE(error.empty());
  }
}

TEST(BlessPolicy, TestOptionsOnlyWithoutPkexecAndRootUnlessScratch) {
  Options plain;
  Options scratch;
  scratch.root = "/tmp/r";
  scratch.serviceManager = "/tmp/m";
  Options named;
  named.user = "alice";
  struct Case {
    const char* what;
    Options options;
    Invoker invoker;
    bool refused;
  };
  const Case cases[] = {
      {"pkexec, plain", plain, {0, "1000"}, false},
      {"pkexec with a scratch root", scratch, {0, "1000"}, true},
      {"pkexec with a named user", named, {0, "1000"}, true},
      {"pkexec but not root", plain, {1000, "1000"}, true},
      {"root without pkexec", named, {0, std::nullopt}, false},
      {"ordinary user", named, {1000, std::nullopt}, true},
      {"ordinary user into a scratch root", scratch, {1000, std::nullopt}, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(bless::refusal(c.options, c.invoker).has_value(), c.refused);
  }
}

TEST(BlessPolicy, ApprovingUserComesFromPkexecOrTheOption) {
  struct Case {
    const char* what;
    std::optional<std::string> pkexecUid;
    std::string user;
    std::optional<uid_t> expected;
  };
  const Case cases[] = {
      {"pkexec root", "0", "", 0},
      {"pkexec nobody", "65534", "", 65534},
      {"pkexec empty", "", "", std::nullopt},
      {"pkexec letters", "abc", "", std::nullopt},
      {"pkexec negative", "-1", "", std::nullopt},
      {"pkexec signed", "+0", "", std::nullopt},
      {"pkexec spaced", " 0", "", std::nullopt},
      {"pkexec trailing garbage", "0x", "", std::nullopt},
      {"pkexec the no-user id", "4294967295", "", std::nullopt},
      {"pkexec beyond 32 bits", "4294967296", "", std::nullopt},
      {"pkexec unknown user", "3999999999", "", std::nullopt},
      {"option by name", std::nullopt, "nobody", 65534},
      {"option by number", std::nullopt, "0", 0},
      {"option unknown", std::nullopt, "no-such-user-anywhere", std::nullopt},
      {"nobody named at all", std::nullopt, "", std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Options o;
    o.user = c.user;
    std::string error;
    const auto user = bless::approvingUser(o, {0, c.pkexecUid}, error);
    ASSERT_EQ(user.has_value(), c.expected.has_value()) << error;
    if (user) {
      EXPECT_EQ(user->uid, *c.expected);
    } else {
      EXPECT_FALSE(error.empty());
    }
  }
}

}  // namespace
