// Bounded child processes, as the helper and the installer rely on them.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <cstdio>

#include "shared/process/Process.h"

namespace {

using namespace std::chrono_literals;

proc::Spec shell(const std::string& script) {
  proc::Spec s;
  s.path = "/bin/sh";
  s.args = {"-c", script};
  s.env = {"PATH=/usr/bin:/bin"};
  s.timeLimit = 5s;
  return s;
}

TEST(Process, Outcomes) {
  struct Case {
    const char* what;
    proc::Spec spec;
    bool launched, timedOut, truncated;
    int exitStatus;
    std::string output;
  };
  auto limited = [](proc::Spec s, std::chrono::milliseconds limit, size_t cap) {
    s.timeLimit = limit;
    s.outputCap = cap;
    return s;
  };
  proc::Spec env;
  env.path = "/usr/bin/env";
  env.env = {"PATH=/usr/bin:/bin"};
  proc::Spec missing;
  missing.path = "/nonexistent/program";
  proc::Spec notExecutable;
  notExecutable.path = "/etc/hostname";
  const Case cases[] = {
      {"output and status", shell("printf 'a\\0b'; exit 7"), true, false, false, 7,
       std::string("a\0b", 3)},
      {"nothing written", shell("exit 0"), true, false, false, 0, ""},
      {"arguments are not split or expanded", shell("printf '%s|' \"$0\" '$HOME' '*'"), true, false,
       false, 0, "/bin/sh|$HOME|*|"},
      {"only the given environment", env, true, false, false, 0, "PATH=/usr/bin:/bin\n"},
      {"starts in the root directory", shell("pwd"), true, false, false, 0, "/\n"},
      {"standard input is empty", shell("cat; echo end"), true, false, false, 0, "end\n"},
      {"output exactly at the cap", limited(shell("printf 12345678"), 5s, 8), true, false, false, 0,
       "12345678"},
      {"output past the cap", limited(shell("printf 123456789; sleep 30"), 5s, 8), true, false,
       true, -1, "12345678"},
      {"flood", limited(shell("exec cat /dev/zero"), 20s, 1 << 20), true, false, true, -1,
       std::string(1 << 20, '\0')},
      // The limit is the only way this run ends; it is long enough for a loaded machine to
      // start the shell and print.
      {"hang", limited(shell("printf early; exec sleep 60"), 3s, 1024), true, true, false, -1,
       "early"},
      // The child exits but leaves a process holding its output open: it must not stall us.
      {"stray keeps the pipe", shell("sleep 60 & echo done"), true, false, false, 0, "done\n"},
      {"missing program", missing, false, false, false, -1, ""},
      {"not executable", notExecutable, false, false, false, -1, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const auto t0 = std::chrono::steady_clock::now();
    const proc::Result r = proc::run(c.spec);
    EXPECT_LT(std::chrono::steady_clock::now() - t0, 25s);
    EXPECT_EQ(r.launched, c.launched);
    EXPECT_EQ(r.timedOut, c.timedOut);
    EXPECT_EQ(r.truncated, c.truncated);
    if (c.exitStatus >= 0) {
      EXPECT_EQ(r.exitStatus, c.exitStatus);
    }
    if (c.truncated || c.timedOut) {
      EXPECT_EQ(r.termSignal, SIGKILL);
    }
    EXPECT_EQ(r.output, c.output);
    if (!c.launched) {
      EXPECT_NE(r.launchErrno, 0);
    }
  }
}

TEST(Process, DescriptorsAreNotInherited) {
  // A descriptor opened without close-on-exec, as a careless library might.
  const int leaky = ::open("/dev/null", O_RDONLY);
  ASSERT_GE(leaky, 0);
  const proc::Result r = proc::run(shell("ls /proc/self/fd | sort -n | tr '\\n' ' '"));
  ::close(leaky);
  // ls itself holds one descriptor on the directory it lists.
  EXPECT_EQ(r.output.substr(0, 6), "0 1 2 ");
  EXPECT_EQ(r.output.size(), 8u) << r.output;
}

TEST(Process, RunsInItsOwnGroupAndCapturesErrors) {
  // The child's own id and its group's: equal for the leader of a new group.
  proc::Spec s = shell("echo $$ $(cut -d' ' -f5 /proc/$$/stat); echo oops >&2");
  s.captureStderr = true;
  s.stderrCap = 3;
  const proc::Result r = proc::run(s);
  long pid = 0, group = 0;
  ASSERT_EQ(std::sscanf(r.output.c_str(), "%ld %ld", &pid, &group), 2) << r.output;
  EXPECT_EQ(group, pid);
  EXPECT_NE(group, ::getpgrp());
  EXPECT_EQ(r.errorOutput, "oop");
}

TEST(Process, OnLaunchedRunsOnlyForARunningProgram) {
  int calls = 0;
  proc::Spec ok = shell("exit 0");
  ok.onLaunched = [&] { ++calls; };
  proc::run(ok);
  proc::Spec bad;
  bad.path = "/nonexistent";
  bad.onLaunched = [&] { ++calls; };
  proc::run(bad);
  EXPECT_EQ(calls, 1);
}

}  // namespace
