// The built program, run the way the helper runs it: a fixed argument vector, a small
// environment, standard output read whole.
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "shared/plist/Plist.h"
#include "unit/core/Files.h"

namespace {

namespace fs = std::filesystem;

struct ProgramRun {
  int status = -1;
  std::string out;
  std::string err;
};

ProgramRun runSampler(const std::vector<std::string>& args, const std::vector<std::string>& env,
                      const std::string& program = POWERMETRICS_PROGRAM) {
  ProgramRun r;
  fs::path dir = fs::temp_directory_path() / ("fx-sampler-run-" + std::to_string(::getpid()));
  fs::create_directories(dir);
  fs::path outPath = dir / "out";
  fs::path errPath = dir / "err";

  std::vector<std::string> argv = {"powermetrics"};
  argv.insert(argv.end(), args.begin(), args.end());
  std::vector<char*> cargv;
  for (auto& a : argv)
    cargv.push_back(a.data());
  cargv.push_back(nullptr);
  std::vector<std::string> envCopy = env;
  envCopy.push_back("PATH=/usr/bin:/bin");
  std::vector<char*> cenv;
  for (auto& e : envCopy)
    cenv.push_back(e.data());
  cenv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                   0600);
  posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                   0600);
  pid_t pid = -1;
  int rc = posix_spawn(&pid, program.c_str(), &actions, nullptr, cargv.data(), cenv.data());
  posix_spawn_file_actions_destroy(&actions);
  if (rc == 0) {
    int wstatus = 0;
    while (::waitpid(pid, &wstatus, 0) < 0 && errno == EINTR) {
    }
    r.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : -1;
  }
  r.out = fxtest::readFile(outPath);
  r.err = fxtest::readFile(errPath);
  fs::remove_all(dir);
  return r;
}

std::string fixture(const std::string& relative) {
  return (fs::path(FERROLUX_FIXTURES_DIR) / relative).string();
}

std::vector<std::string> helperArgs(const std::string& ms, bool gpu) {
  return {"-n", "1",    "-i", ms, "--samplers", gpu ? "cpu_power,gpu_power" : "cpu_power",
          "-f", "plist"};
}

// One document and one NUL separator, nothing after it.
plist::Value parseOutput(const ProgramRun& r) {
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_FALSE(r.out.empty());
  if (r.out.empty()) return {};
  EXPECT_EQ(r.out.find('\0'), r.out.size() - 1);
  auto docs = plist::parseAll(r.out);
  EXPECT_EQ(docs.size(), 1u);
  if (docs.size() != 1 || !docs[0].ok()) return {};
  EXPECT_TRUE(docs[0].value->isDict());
  return *docs[0].value;
}

TEST(SamplerProgram, RefusedCommandLinesExitWithUsage) {
  const std::vector<std::vector<std::string>> refused = {
      {},
      {"-n", "1", "-i", "1.5", "--samplers", "cpu_power", "-f", "plist"},
      {"-n", "1", "-i", "100", "--samplers", "gpu_power", "-f", "plist"},
      {"-n", "1", "-i", "100", "--samplers", "cpu_power", "-f", "plist", "--show-all"},
      {"--help"},
  };
  for (const auto& args : refused) {
    ProgramRun r = runSampler(args, {"FERROLUX_SYSFS_ROOT=" + fixture("sysfs/vm-minimal")});
    EXPECT_EQ(r.status, 64) << testing::PrintToString(args);
    EXPECT_TRUE(r.out.empty());
    EXPECT_TRUE(r.err.starts_with("usage: powermetrics -n 1 -i")) << r.err;
  }
}

TEST(SamplerProgram, CapturedTreeGivesOneDocument) {
  ProgramRun r =
      runSampler(helperArgs("20", true), {"FERROLUX_SYSFS_ROOT=" + fixture("sysfs/vm-minimal")});
  plist::Value doc = parseOutput(r);
  EXPECT_GE(doc["elapsed_ns"].integer().value_or(0), 20'000'000);
  EXPECT_TRUE(doc["timestamp"].date().has_value());
  const plist::Value& cluster = doc["processor"]["clusters"][size_t{0}];
  EXPECT_EQ(*cluster["name"].string(), "P-Cluster");
  EXPECT_EQ(cluster["freq_hz"].number(), 2096.022e6);
  EXPECT_EQ(cluster["cpus"].size(), 2u);
  EXPECT_TRUE(doc["processor"]["cpu_energy"].isNone());
  EXPECT_TRUE(doc["gpu"].isNone());
}

TEST(SamplerProgram, SimProfilesChooseTheirEnergyEntries) {
  struct Row {
    std::string profile;
    std::vector<std::string> present, absent;
  };
  const std::vector<Row> rows = {
      {"macbook-pro-m1-max-13.plist",
       {"combined_power", "cpu_energy"},
       {"package_energy", "dram_energy"}},
      {"macbook-pro-m1-max-12.plist", {"package_energy", "dram_energy"}, {"combined_power"}},
  };
  for (const auto& row : rows) {
    ProgramRun r = runSampler(helperArgs("10", true),
                              {"FERROLUX_SYSFS_ROOT=" + fixture("sysfs/vm-minimal"),
                               "FERROLUX_SIM_PROFILE=" + fixture("sampler/profiles/" + row.profile),
                               "FERROLUX_SIM_SEED=1"});
    plist::Value doc = parseOutput(r);
    for (const auto& k : row.present)
      EXPECT_TRUE(doc["processor"][k].isNumber()) << k;
    for (const auto& k : row.absent)
      EXPECT_TRUE(doc["processor"][k].isNone()) << k;
    EXPECT_EQ(*doc["hw_model"].string(), "MacBookPro18,2");
    EXPECT_EQ(doc["processor"]["clusters"].size(), 3u);
    EXPECT_TRUE(doc["gpu"]["freq_hz"].isNumber());
  }
}

TEST(SamplerProgram, BadEnvironmentFailsClearlyAndPrintsNothing) {
  struct Row {
    std::vector<std::string> env;
    int status;
    std::string mention;
  };
  // A profile nested 200,000 arrays deep: refused before any recursion, never a crash.
  const fs::path deep = fs::temp_directory_path() / ("fx-deep-" + std::to_string(::getpid()));
  {
    std::ofstream out(deep);
    out << "<plist>";
    for (int i = 0; i < 200000; ++i)
      out << "<array>";
    out << "<true/>";
    for (int i = 0; i < 200000; ++i)
      out << "</array>";
    out << "</plist>";
  }
  const std::vector<Row> rows = {
      {{"FERROLUX_SIM_PROFILE=" + fixture("sampler/profiles/broken.plist")}, 66, "broken.plist"},
      {{"FERROLUX_SIM_PROFILE=" + deep.string()}, 66, "nested too deeply"},
      {{"FERROLUX_SIM_PROFILE=" + fixture("fuzz/plist/bin-shared-expansion")}, 66, "expands"},
      {{"FERROLUX_SIM_PROFILE=/nonexistent/profile.plist"}, 66, "/nonexistent/profile.plist"},
      {{"FERROLUX_SIM_SEED=12abc"}, 78, "FERROLUX_SIM_SEED"},
  };
  for (const auto& row : rows) {
    ProgramRun r = runSampler(helperArgs("10", false), row.env);
    EXPECT_EQ(r.status, row.status) << r.err;
    EXPECT_TRUE(r.out.empty());
    EXPECT_NE(r.err.find(row.mention), std::string::npos) << r.err;
  }
  fs::remove(deep);
}

// Development runs give the helper a copy of the sampler-env wrapper under the sampler's name;
// the variables written beside the copy must reach the sampler, and nothing else changes.
TEST(SamplerProgram, EnvWrapperAddsTheVariablesBesideIt) {
  const fs::path dir = fs::temp_directory_path() / ("fx-sampler-env-" + std::to_string(::getpid()));
  fs::create_directories(dir);
  const fs::path copy = dir / "powermetrics";
  fs::copy_file(SAMPLER_ENV_PROGRAM, copy, fs::copy_options::overwrite_existing);
  const std::string tree = "FERROLUX_SYSFS_ROOT=" + fixture("sysfs/vm-minimal");
  struct Row {
    const char* what;
    std::optional<std::string> file;  // nullopt: no variables file
    std::vector<std::string> env;     // what the caller passes
    int status;
    const char* model;  // hw_model of the document; null when none is written
  };
  const Row rows[] = {
      {"profile from the file",
       tree + "\nFERROLUX_SIM_PROFILE=" + fixture("sampler/profiles/macbook-pro-m1-max-13.plist") +
           "\n\nFERROLUX_SIM_SEED=1\n",
       {},
       0,
       "MacBookPro18,2"},
      {"no file: the caller's environment as it is", std::nullopt, {tree}, 0, "Linux"},
      {"the file wins over the caller",
       "FERROLUX_SIM_SEED=12abc",
       {"FERROLUX_SIM_SEED=1"},
       78,
       nullptr},
      {"a line without a name", tree + "\n=x\n", {}, 127, nullptr},
      {"a line without a value", "FERROLUX_SIM_SEED", {}, 127, nullptr},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    fs::remove(dir / "powermetrics.env");
    if (row.file) std::ofstream(dir / "powermetrics.env") << *row.file;
    ProgramRun r = runSampler(helperArgs("10", false), row.env, copy.string());
    EXPECT_EQ(r.status, row.status) << r.err;
    if (row.model) {
      plist::Value doc = parseOutput(r);
      EXPECT_EQ(doc["hw_model"].string() ? *doc["hw_model"].string() : "", row.model);
      EXPECT_GE(doc["elapsed_ns"].integer().value_or(0), 10'000'000);
    } else {
      EXPECT_TRUE(r.out.empty());
    }
  }
  fs::remove_all(dir);
}

// This machine, whatever it offers: a valid document whose CPU numbers are the host's.
TEST(SamplerProgram, RealMachineGivesAValidDocument) {
  ProgramRun r = runSampler(helperArgs("100", true), {});
  plist::Value doc = parseOutput(r);
  EXPECT_GE(doc["elapsed_ns"].integer().value_or(0), 100'000'000);
  std::set<int64_t> reported;
  const plist::Value& clusters = doc["processor"]["clusters"];
  ASSERT_GE(clusters.size(), 1u);
  for (size_t i = 0; i < clusters.size(); ++i) {
    for (size_t j = 0; j < clusters[i]["cpus"].size(); ++j) {
      reported.insert(clusters[i]["cpus"][j]["cpu"].integer().value_or(-1));
    }
  }
  std::set<int64_t> host;
  std::ifstream stat("/proc/stat");
  for (std::string line; std::getline(stat, line);) {
    if (line.size() > 3 && line.starts_with("cpu") && std::isdigit(line[3])) {
      host.insert(std::stoll(line.substr(3)));
    }
  }
  EXPECT_EQ(reported, host);
}

}  // namespace
