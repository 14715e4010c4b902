// Starts the real helper executable on a scratch socket with the stand-in sampler, and
// collects what a client connection receives.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "shared/xpc/Connection.h"
#include "shared/xpc/Socket.h"
#include "unit/core/Files.h"
#include "unit/core/ScratchDir.h"

namespace harness {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

// Generous: only a hung helper ever waits this long.
constexpr auto kPatience = 20s;

using fxtest::readFile;
using fxtest::ScratchDir;
using fxtest::writeFile;

// macOS 13 (the combined power figure) and two performance clusters.
inline const std::string kSimProfileM2Pro =
    FERROLUX_SOURCE_DIR "/data/profiles/macbookpro-m2pro.plist";
inline const std::string kSamplerProgram = FERROLUX_BUILD_DIR "/tools/powermetrics/powermetrics";

// A sampler for the helper's tools folder (the helper passes it no environment of its own): the
// built sampler on a simulated machine, with the host's load taken from a captured tree and, with
// a seed (shell text), the same figures in every sample; without one they move as a real
// machine's do. `before` runs first; with `after`, the sampler is not exec'd and `after` follows
// its arguments (a redirection, then further lines).
inline void writeSimSampler(const fs::path& file, const std::string& seed = "7",
                            const std::string& before = "", const std::string& after = "",
                            const std::string& profile = kSimProfileM2Pro) {
  writeFile(file,
            "#!/bin/sh\n" + before +
                "FERROLUX_SYSFS_ROOT='" FERROLUX_FIXTURES_DIR
                "/sysfs/vm-minimal' FERROLUX_SIM_PROFILE='" +
                profile + "'" + (seed.empty() ? "" : " FERROLUX_SIM_SEED=" + seed) +
                (after.empty() ? " exec '" : " '") + kSamplerProgram + "' \"$@\"" + after + "\n",
            /*executable=*/true);
}

// The stand-in sampler copied into its own tools directory, with a mode file beside it.
struct FakeTools {
  fs::path dir;
  explicit FakeTools(const fs::path& root) : dir(root / "tools") {
    fs::create_directories(dir);
    fs::copy_file(FERROLUX_FIXTURES_DIR "/helper/powermetrics", dir / "powermetrics");
  }
  void mode(const std::string& m) const { writeFile(dir / "mode", m); }
};

// A scratch installation: units, executable and a service manager that records its arguments.
struct InstalledTree {
  fs::path root;
  fs::path socketUnit, serviceUnit, link, exe, sampler, record;
  InstalledTree(const fs::path& base, int managerStatus) : root(base / "root") {
    socketUnit = root / "etc/systemd/system/com.tarquell.powermetrics.socket";
    serviceUnit = root / "etc/systemd/system/com.tarquell.powermetrics.service";
    link = root / "etc/systemd/system/sockets.target.wants/com.tarquell.powermetrics.socket";
    exe = root / "usr/local/libexec/ferrolux-helpers/com.tarquell.powermetrics";
    sampler = root / "usr/local/libexec/ferrolux-helpers/powermetrics";
    record = base / "manager-args";
    for (const auto& f : {socketUnit, serviceUnit, link, exe, sampler})
      writeFile(f, "x");
    writeFile(base / "systemctl",
              "#!/bin/sh\necho \"$@\" > '" + record.string() + "'\nexit " +
                  std::to_string(managerStatus) + "\n",
              /*executable=*/true);
  }
  std::vector<std::string> options(const fs::path& base) const {
    return {"--install-root", root.string(), "--service-manager", (base / "systemctl").string()};
  }
};

// Blocks until a reply callback delivered a value.
template <typename T>
class Promise {
 public:
  std::function<void(T)> callback() {
    return [this](T v) {
      std::lock_guard l(m_);
      value_ = std::move(v);
      cv_.notify_all();
    };
  }
  std::optional<T> get(std::chrono::milliseconds wait = kPatience) {
    std::unique_lock l(m_);
    cv_.wait_for(l, wait, [&] { return value_.has_value(); });
    return value_;
  }

 private:
  std::mutex m_;
  std::condition_variable cv_;
  std::optional<T> value_;
};

class HelperProcess {
 public:
  // The built helper serving `dir`/h.sock, logging to `dir`/helper.log.
  // `environment` adds NAME=VALUE entries to the few the helper always gets.
  HelperProcess(const fs::path& dir, std::vector<std::string> extra,
                std::vector<std::string> environment = {})
      : HelperProcess(kExecutable, (dir / "h.sock").string(), dir / "helper.log", std::move(extra),
                      /*appendLog=*/false, std::move(environment)) {}

  // `executable` (the built helper or a patched copy of it) serving `socketPath`. A log that is
  // appended to keeps the lines of earlier helpers of the same test.
  HelperProcess(const std::string& executable, std::string socketPath, fs::path log,
                std::vector<std::string> extra, bool appendLog,
                std::vector<std::string> environment = {})
      : socket(std::move(socketPath)), logPath(std::move(log)) {
    std::vector<std::string> args{executable, "--listen", socket};
    args.insert(args.end(), extra.begin(), extra.end());
    std::vector<char*> argv;
    for (auto& a : args)
      argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<std::string> env{"FERROLUX_LOG_STDERR=1", "PATH=/usr/bin:/bin"};
    for (const char* keep : {"ASAN_OPTIONS", "UBSAN_OPTIONS"})
      if (const char* v = std::getenv(keep)) env.push_back(std::string(keep) + "=" + v);
    env.insert(env.end(), environment.begin(), environment.end());
    std::vector<char*> envp;
    for (auto& e : env)
      envp.push_back(e.data());
    envp.push_back(nullptr);
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    const int logMode = O_WRONLY | O_CREAT | (appendLog ? O_APPEND : O_TRUNC);
    posix_spawn_file_actions_addopen(&fa, 2, logPath.c_str(), logMode, 0600);
    posix_spawn_file_actions_addopen(&fa, 0, "/dev/null", O_RDONLY, 0);
    if (posix_spawn(&pid, executable.c_str(), &fa, nullptr, argv.data(), envp.data()) != 0)
      pid = -1;
    posix_spawn_file_actions_destroy(&fa);
  }
  ~HelperProcess() {
    if (pid > 0 && !exitStatus) {
      ::kill(pid, SIGKILL);
      ::waitpid(pid, nullptr, 0);
    }
  }

  // Waits until the helper answers a liveness probe. The probe is a full round trip: a probe
  // the helper admitted only later would become its newest connection and receive the results
  // meant for the test's own connection.
  bool ready() const {
    const auto until = std::chrono::steady_clock::now() + kPatience;
    while (std::chrono::steady_clock::now() < until) {
      struct stat st;
      if (::stat(socket.c_str(), &st) == 0 && S_ISSOCK(st.st_mode)) {
        // A connection that ends unanswered (a socket left by an earlier helper) ends the
        // probe at once instead of waiting out its patience.
        auto alive = std::make_shared<Promise<bool>>();
        auto probe = xpc::Connection::connect(
            socket, {.powermetricsResult = {},
                     .invalidated = [alive] { alive->callback()(false); },
                     .interrupted = [alive] { alive->callback()(false); }});
        probe->isResponding(alive->callback());
        const bool answered = alive->get(2s).value_or(false);
        probe->invalidate();
        if (answered) return true;
      }
      std::this_thread::sleep_for(10ms);
    }
    return false;
  }

  void kill(int signal) const { ::kill(pid, signal); }

  // Without waiting: the exit status once the helper has ended (128 + signal when killed);
  // nullopt while it runs.
  std::optional<int> endStatus() {
    if (!exitStatus) {
      int status;
      if (::waitpid(pid, &status, WNOHANG) == pid)
        exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    return exitStatus;
  }

  // The exit status once the helper ended by exit(); nullopt when it is still running after
  // `wait` or died from a signal.
  std::optional<int> waitExit(std::chrono::milliseconds wait = kPatience) {
    const auto until = std::chrono::steady_clock::now() + wait;
    do {
      int status;
      const pid_t r = ::waitpid(pid, &status, WNOHANG);
      if (r == pid) {
        if (WIFEXITED(status))
          exitStatus = WEXITSTATUS(status);
        else
          exitStatus = 128 + WTERMSIG(status);
        return WIFEXITED(status) ? std::optional<int>(WEXITSTATUS(status)) : std::nullopt;
      }
      std::this_thread::sleep_for(10ms);
    } while (std::chrono::steady_clock::now() < until);
    return std::nullopt;
  }

  std::string log() const { return readFile(logPath); }
  bool waitForLog(const std::string& text) const {
    const auto until = std::chrono::steady_clock::now() + kPatience;
    while (std::chrono::steady_clock::now() < until) {
      if (log().find(text) != std::string::npos) return true;
      std::this_thread::sleep_for(10ms);
    }
    return false;
  }

  inline static const std::string kExecutable =
      FERROLUX_BUILD_DIR "/helper/com.tarquell.powermetrics";
  std::string socket;
  fs::path logPath;
  pid_t pid = -1;
  std::optional<int> exitStatus;
};

// What one client connection received, gathered from its reader thread.
class Inbox {
 public:
  xpc::Connection::Handlers handlers() {
    return {.powermetricsResult =
                [this](std::optional<plist::Bytes> d) {
                  std::lock_guard l(m_);
                  results_.push_back(std::move(d));
                  cv_.notify_all();
                },
            .invalidated = [this] { end("invalidated"); },
            .interrupted = [this] { end("interrupted"); }};
  }

  // The next result, outer nullopt when none came in time.
  std::optional<std::optional<plist::Bytes>> nextResult(
      std::chrono::milliseconds wait = kPatience) {
    std::unique_lock l(m_);
    if (!cv_.wait_for(l, wait, [&] { return !results_.empty(); })) return std::nullopt;
    auto r = std::move(results_.front());
    results_.pop_front();
    return r;
  }

  // "invalidated" or "interrupted", or "" when the connection did not end in time.
  std::string ending(std::chrono::milliseconds wait = kPatience) {
    std::unique_lock l(m_);
    cv_.wait_for(l, wait, [&] { return !ending_.empty(); });
    return ending_;
  }

 private:
  void end(const char* how) {
    std::lock_guard l(m_);
    ending_ = how;
    cv_.notify_all();
  }
  std::mutex m_;
  std::condition_variable cv_;
  std::deque<std::optional<plist::Bytes>> results_;
  std::string ending_;
};

// The launcher's arguments as the stand-in launcher passed them on, joined by spaces.
inline std::string echoedNiceArgs(const std::optional<plist::Bytes>& data) {
  if (!data) return {};
  const auto parsed = plist::parse(*data);
  const auto* s = parsed.ok() ? (*parsed.value)["nice"].string() : nullptr;
  return s ? *s : std::string();
}

// The names of the variables in the stand-in sampler's environment, sorted, each followed by a
// space.
inline std::string echoedEnvironment(const std::optional<plist::Bytes>& data) {
  if (!data) return {};
  const auto parsed = plist::parse(*data);
  const auto* s = parsed.ok() ? (*parsed.value)["environment"].string() : nullptr;
  return s ? *s : std::string();
}

// The sampler arguments echoed back by the stand-in, or empty when the result is not its echo.
inline std::vector<std::string> echoedArgs(const std::optional<plist::Bytes>& data) {
  std::vector<std::string> out;
  if (!data) return out;
  const auto parsed = plist::parse(*data);
  if (!parsed.ok()) return out;
  const auto& args = (*parsed.value)["args"];
  for (size_t i = 0; i < args.size(); ++i)
    if (const auto* s = args[i].string()) out.push_back(*s);
  return out;
}

inline size_t openDescriptors(pid_t pid) {
  const fs::path fds = "/proc/" + std::to_string(pid) + "/fd";
  return static_cast<size_t>(std::distance(fs::directory_iterator(fds), {}));
}

// A size from the process's status file in kilobytes ("VmRSS:" now, "VmHWM:" its peak); -1 when
// unreadable.
inline long statusKiB(pid_t pid, const std::string& field = "VmRSS:") {
  std::ifstream in("/proc/" + std::to_string(pid) + "/status");
  for (std::string line; std::getline(in, line);)
    if (line.starts_with(field)) return std::atol(line.c_str() + field.size());
  return -1;
}

// The built helper serving `scratch` with the stand-in sampler. `start` (re)starts it with further
// options and waits until it answers; the sampler keeps the helper's default grace unless a test
// asks for another, so a slow start on a loaded machine is never cut off.
class StandInHelperTest : public ::testing::Test {
 protected:
  void start(std::vector<std::string> extra = {}, std::vector<std::string> environment = {}) {
    helper.reset();
    extra.insert(extra.end(), {"--tools-dir", tools.dir.string()});
    helper.emplace(scratch.path, extra, std::move(environment));
    ASSERT_TRUE(helper->ready()) << helper->log();
  }
  std::shared_ptr<xpc::Connection> connect(Inbox& inbox) {
    return xpc::Connection::connect(helper->socket, inbox.handlers());
  }
  // Whether `c` is still answered, by a helper that has not ended.
  bool serving(const std::shared_ptr<xpc::Connection>& c) {
    Promise<bool> alive;
    return c->isResponding(alive.callback()) && alive.get().value_or(false) &&
           !helper->waitExit(std::chrono::milliseconds(0));
  }

  ScratchDir scratch;
  FakeTools tools{scratch.path};
  std::optional<HelperProcess> helper;
};

// The built helper serving `scratch`/h.sock with a seeded simulated sampler, started as the
// service manager would: nobody waits for it to come up. Every helper started here appends to
// the same `scratch`/helper.log.
struct SimHelper {
  explicit SimHelper(const std::string& prefix) : scratch(prefix) {
    writeSimSampler(tools / "powermetrics");
  }
  // A fresh helper on the same socket, after the earlier one is killed.
  void startHelper() {
    helper.reset();
    helper = std::make_unique<HelperProcess>(
        HelperProcess::kExecutable, (scratch.path / "h.sock").string(), scratch.path / "helper.log",
        std::vector<std::string>{"--tools-dir", tools.string(), "--nice-path",
                                 FERROLUX_FIXTURES_DIR "/helper/nice"},
        /*appendLog=*/true);
  }

  ScratchDir scratch;
  fs::path tools = scratch.path / "tools";
  std::unique_ptr<HelperProcess> helper;
};

}  // namespace harness
