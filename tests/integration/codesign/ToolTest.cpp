// ferrolux-codesign as people and the build use it: exit statuses and what it prints.
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "PeerHarness.h"
#include "shared/codesign/Requirement.h"
#include "support/TestPki.h"
#include "unit/core/Files.h"
#include "unit/core/ScratchDir.h"

extern char** environ;

namespace codesign::peertest {
namespace {

struct ToolRun {
  int status = -1;
  std::string output;
};

ToolRun run(std::vector<std::string> args) {
  int pipeFds[2];
  if (pipe2(pipeFds, O_CLOEXEC) != 0) return {};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 1);
  posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 2);
  std::vector<char*> argv;
  for (auto& a : args)
    argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t pid = -1;
  int rc = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(pipeFds[1]);
  ToolRun r;
  char buf[4096];
  ssize_t n;
  while ((n = read(pipeFds[0], buf, sizeof buf)) > 0)
    r.output.append(buf, static_cast<size_t>(n));
  close(pipeFds[0]);
  int status = 0;
  if (rc == 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status))
    r.status = WEXITSTATUS(status);
  return r;
}

TEST(CodesignTool, SignsVerifiesAndDisplays) {
  fxtest::ScratchDir scratch{"fx-codesign"};
  ASSERT_FALSE(scratch.path.empty());
  const auto dir = scratch.path;
  testpki::TestChain chain;
  testpki::KeyAndCert stranger = testpki::makeCert("Stranger", nullptr, {.ca = true});
  fxtest::writeFile(dir / "anchor.pem", testpki::pem(chain.anchor.cert.get()));
  fxtest::writeFile(dir / "other.pem", testpki::pem(stranger.cert.get()));
  fxtest::writeFile(dir / "dev.pem", testpki::pem(chain.developer.cert.get()));
  fxtest::writeFile(dir / "dev.key", testpki::pem(chain.developer.key.get()));
  writeExecutable(dir / "prog", readFile(FERROLUX_TEST_PEER));
  const std::string tool = FERROLUX_CODESIGN_TOOL, prog = (dir / "prog").string(),
                    anchor = (dir / "anchor.pem").string(), cert = (dir / "dev.pem").string(),
                    key = (dir / "dev.key").string();
  const std::string helperReq(kHelperClientRequirement);

  struct Step {
    std::vector<std::string> args;
    int status;
    std::string expectInOutput;  // empty: nothing at all is printed
  } steps[] = {
      {{tool, "sign", "--identifier", "com.tarquell.Ferrolux", "--cert", cert, "--key", key, prog},
       0,
       ""},
      {{prog}, 0, ""},  // a signed program still runs
      {{tool, "verify", "--anchor", anchor, prog}, 0, "valid"},
      {{tool, "verify", "--anchor", anchor, "--requirement", helperReq, prog}, 0, "valid"},
      {{tool, "verify", "--anchor", anchor, "--requirement", "identifier \"other\"", prog},
       1,
       "does not satisfy"},
      {{tool, "verify", "--anchor", anchor, "--requirement", "identifier", prog},
       2,
       "does not parse"},
      {{tool, "verify", "--anchor", (dir / "other.pem").string(), prog}, 1, "does not chain"},
      {{tool, "display", "--anchor", anchor, prog},
       0,
       "Certificate 0: CN=Developer ID Application: Tarquell (QZ4K8WD2RM)"},
      // Re-signing replaces the signature: the new identifier shows, and it still verifies.
      {{tool, "sign", "--identifier", "com.tarquell.powermetrics", "--cert", cert, "--key", key,
        prog},
       0,
       ""},
      {{tool, "display", "--anchor", anchor, prog}, 0, "Identifier: com.tarquell.powermetrics"},
      {{tool, "sign", "--identifier", "com.x", "--adhoc", prog}, 0, ""},
      {{tool, "verify", "--anchor", anchor, prog}, 1, "ad hoc"},
      {{tool, "display", "--anchor", anchor, prog}, 1, "Signature: ad hoc"},
      {{tool, "sign", "--identifier", "com.x", "--adhoc", "--cert", cert, "--key", key, prog},
       2,
       "usage"},
      {{tool, "sign", "--identifier", "com.x", "--cert", cert, prog}, 2, "usage"},
      {{tool, "sign", "--identifier", "com.x", "--cert", key, "--key", key, prog},
       1,
       "no signing certificate"},
      {{tool, "verify", "--anchor", anchor}, 2, "no file"},
      {{tool, "frobnicate", prog}, 2, "unknown command"},
      {{tool, "verify", "--anchor", (dir / "missing.pem").string(), prog}, 1, "cannot open"},
  };
  for (const Step& s : steps) {
    std::string line;
    for (const auto& a : s.args)
      line += a + " ";
    SCOPED_TRACE(line);
    ToolRun r = run(s.args);
    EXPECT_EQ(r.status, s.status) << r.output;
    if (s.expectInOutput.empty()) {
      EXPECT_EQ(r.output, "");
    } else {
      EXPECT_NE(r.output.find(s.expectInOutput), std::string::npos) << r.output;
    }
  }
}

}  // namespace
}  // namespace codesign::peertest
