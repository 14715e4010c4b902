// The installed helper's admission, end to end: the real helper executable on a temporary
// socket, real peer processes signed (or not) in the ways an attacker might try, and the exact
// lines the helper writes for each.
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "PeerHarness.h"

namespace fs = std::filesystem;
using codesign::peertest::Bytes;
using codesign::peertest::readFile;
using codesign::peertest::writeExecutable;

namespace {

const std::string kValid = "[PWMJBS]: Client is valid";
const std::string kRefused = "[PWMJBS]: Client is not valid";
std::string failed(const std::string& message) {
  return "Code signing check failed with error: CodesignCheckError(message: \"" + message + "\")";
}

pid_t spawn(const std::vector<std::string>& args, const std::string& stderrFile, bool logToStderr) {
  const pid_t pid = fork();
  if (pid != 0) return pid;
  if (!stderrFile.empty()) {
    const int fd = open(stderrFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    dup2(fd, STDERR_FILENO);
  }
  if (logToStderr) setenv("FERROLUX_LOG_STDERR", "1", 1);
  std::vector<char*> argv;
  for (const auto& a : args)
    argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  execv(argv[0], argv.data());
  _exit(127);
}

void stop(pid_t pid) {
  kill(pid, SIGKILL);
  waitpid(pid, nullptr, 0);
}

class RealHelperAdmission : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = fs::temp_directory_path() / ("ferrolux-admission-" + std::to_string(getpid()));
    fs::create_directories(dir);
    socket = (dir / "helper.sock").string();
    log = (dir / "helper.log").string();
    helper = spawn({FERROLUX_HELPER_EXE, "--listen", socket}, log, true);
    for (int i = 0; i < 500 && !fs::exists(socket); ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_TRUE(fs::exists(socket));
  }
  void TearDown() override {
    stop(helper);
    fs::remove_all(dir);
  }

  std::vector<std::string> logLines() const {
    std::ifstream in(log);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);)
      lines.push_back(line);
    return lines;
  }

  // Connects `program` and returns the helper's new log lines once it has decided.
  std::vector<std::string> admit(const std::string& program) {
    const size_t before = logLines().size();
    const pid_t peer = spawn({program, socket, "stay"}, "", false);
    std::vector<std::string> added;
    for (int i = 0; i < 1000; ++i) {
      auto lines = logLines();
      added.assign(lines.begin() + static_cast<long>(std::min(before, lines.size())), lines.end());
      if (!added.empty() && (added.back() == kValid || added.back() == kRefused)) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    stop(peer);
    return added;
  }

  std::string variant(const char* name, const Bytes& bytes) const {
    const fs::path path = dir / name;
    writeExecutable(path, bytes);
    return path.string();
  }

  fs::path dir;
  std::string socket, log;
  pid_t helper = -1;
};

TEST_F(RealHelperAdmission, RefusesEveryImpostorAndKeepsServing) {
  const Bytes genuine = readFile(FERROLUX_TEST_PEER);

  Bytes changed = genuine;
  const std::string marker = "patchable-area:";
  auto at = std::search(changed.begin(), changed.end(), marker.begin(), marker.end());
  ASSERT_NE(at, changed.end());
  at[static_cast<long>(marker.size())] ^= 0x01;

  const std::string impostor = variant("impostor", genuine);
  const std::string sign = std::string(FERROLUX_CODESIGN_TOOL) +
                           " sign --identifier com.tarquell.Impostor --cert " +
                           FERROLUX_SIGNING_CERT_FILE + " --key " + FERROLUX_SIGNING_KEY_FILE +
                           " " + impostor + " >/dev/null";
  ASSERT_EQ(std::system(sign.c_str()), 0);

  struct Case {
    const char* name;
    std::string program;
    std::vector<std::string> lines;
  };
  const Case cases[] = {
      {"genuine application", variant("genuine", genuine), {kValid}},
      {"never signed", FERROLUX_UNSIGNED_PEER, {failed("the code is not signed"), kRefused}},
      {"signed by us under another identifier", impostor, {kRefused}},
      {"byte changed after signing",
       variant("changed", changed),
       {failed("the code or its signature has been modified"), kRefused}},
      {"genuine again after the refusals", variant("genuine2", genuine), {kValid}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(admit(c.program), c.lines);
  }
}

}  // namespace
