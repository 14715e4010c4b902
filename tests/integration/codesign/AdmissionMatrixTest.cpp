// The helper's admission check against real peer processes connecting over a Unix socket: who
// is admitted, who is refused, and exactly which lines each refusal logs.
#include <sys/inotify.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "PeerHarness.h"
#include "helper/admission/ClientAdmission.h"
#include "shared/codesign/Signer.h"
#include "support/TestPki.h"

namespace codesign::peertest {
namespace {

const std::string kRefused = "[PWMJBS]: Client is not valid";

std::string failed(const std::string& message) {
  return "Code signing check failed with error: CodesignCheckError(message: \"" + message + "\")";
}

Bytes signedWith(const Bytes& code, const std::string& id, const SigningIdentity* who) {
  std::string error;
  auto out = signBytes(code, id, who, error);
  if (!out) throw std::runtime_error(error);
  return *out;
}

// The peer program in every variant the matrix needs, written once per test run.
struct Programs {
  PeerServer server;
  testpki::TestChain chain;
  testpki::KeyAndCert otherAnchor = testpki::makeCert("Other Anchor", nullptr, {.ca = true});
  testpki::KeyAndCert otherLeaf = testpki::makeCert(testpki::kDeveloperCN, &otherAnchor);
  std::string genuine, helperSelf, unsignedPeer, otherAnchorPeer, otherIdentifier, byteChanged,
      movedSignature, adHocPeer, adHocHelper;

  Programs() {
    const Bytes code = readFile(FERROLUX_TEST_PEER);
    SigningIdentity id = chain.identity();
    SigningIdentity other = testpki::identityOf(otherLeaf);
    auto put = [&](const char* name, const Bytes& bytes) {
      auto path = server.dir() / name;
      writeExecutable(path, bytes);
      return path.string();
    };
    const Bytes genuineBytes = signedWith(code, "com.tarquell.Ferrolux", &id);
    genuine = put("genuine", genuineBytes);
    helperSelf = put("helper", signedWith(code, "com.tarquell.powermetrics", &id));
    // Re-signing the build's signed peer drops the build's signature: the code is unsigned.
    std::string error;
    MemorySource source(code);
    std::uint64_t length = 0;
    if (!codeLength(source, length, error)) throw std::runtime_error(error);
    const Bytes bare(code.begin(), code.begin() + static_cast<long>(length));
    unsignedPeer = put("unsigned", bare);
    otherAnchorPeer = put("other-anchor", signedWith(code, "com.tarquell.Ferrolux", &other));
    otherIdentifier = put("other-identifier", signedWith(code, "com.tarquell.Impostor", &id));
    // Changed bytes lie in a constant of the peer that the program never depends on.
    const std::string patchable = "patchable-area:";
    auto at = std::search(code.begin(), code.end(), patchable.begin(), patchable.end());
    if (at == code.end()) throw std::runtime_error("peer has no patchable area");
    const std::size_t patch = static_cast<std::size_t>(at - code.begin()) + patchable.size();
    Bytes changed = genuineBytes;
    changed[patch] ^= 0x01;
    byteChanged = put("byte-changed", changed);
    // The genuine signature glued onto a different program of the same length.
    Bytes moved = bare;
    moved[patch + 1] ^= 0x01;
    moved.insert(moved.end(), genuineBytes.begin() + static_cast<long>(length), genuineBytes.end());
    movedSignature = put("moved-signature", moved);
    adHocPeer = put("adhoc-peer", signedWith(code, "com.tarquell.Ferrolux", nullptr));
    adHocHelper = put("adhoc-helper", signedWith(code, "com.tarquell.powermetrics", nullptr));
  }
};

Programs& programs() {
  static Programs p;
  return p;
}

enum class Timing { Connected, ExitedAndReaped, ExitedZombie };

struct Case {
  const char* name;
  std::string Programs::*peer;
  std::string Programs::*self;
  Timing timing;
  std::string requirement;
  bool admitted;
  std::vector<std::string> lines;
};

const std::string kHelperRequirement(kHelperClientRequirement);

TEST(AdmissionMatrix, RealPeersAreAdmittedOrRefusedWithExactLines) {
  const Case cases[] = {
      {"genuine client",
       &Programs::genuine,
       &Programs::helperSelf,
       Timing::Connected,
       kHelperRequirement,
       true,
       {}},
      {"unsigned",
       &Programs::unsignedPeer,
       &Programs::helperSelf,
       Timing::Connected,
       kHelperRequirement,
       false,
       {failed("the code is not signed"), kRefused}},
      {"signed under another anchor",
       &Programs::otherAnchorPeer,
       &Programs::helperSelf,
       Timing::Connected,
       kHelperRequirement,
       false,
       {kRefused}},
      {"same chain, another identifier",
       &Programs::otherIdentifier,
       &Programs::helperSelf,
       Timing::Connected,
       kHelperRequirement,
       false,
       {kRefused}},
      {"byte changed after signing",
       &Programs::byteChanged,
       &Programs::helperSelf,
       Timing::Connected,
       kHelperRequirement,
       false,
       {failed("the code or its signature has been modified"), kRefused}},
      {"signature moved from another file",
       &Programs::movedSignature,
       &Programs::helperSelf,
       Timing::Connected,
       kHelperRequirement,
       false,
       {failed("the code or its signature has been modified"), kRefused}},
      {"peer exited and was reaped before the check",
       &Programs::genuine,
       &Programs::helperSelf,
       Timing::ExitedAndReaped,
       kHelperRequirement,
       false,
       {failed("no such process"), kRefused}},
      {"peer exited, not yet reaped",
       &Programs::genuine,
       &Programs::helperSelf,
       Timing::ExitedZombie,
       kHelperRequirement,
       false,
       {failed("the process has exited"), kRefused}},
      {"ad-hoc peer of a signed helper",
       &Programs::adHocPeer,
       &Programs::helperSelf,
       Timing::Connected,
       kHelperRequirement,
       false,
       {kRefused}},
      // Neither has certificates: check 1 passes on two empty chains, check 2 decides.
      {"both without certificates, anchored requirement",
       &Programs::adHocPeer,
       &Programs::adHocHelper,
       Timing::Connected,
       kHelperRequirement,
       false,
       {kRefused}},
      {"both without certificates, identifier requirement",
       &Programs::adHocPeer,
       &Programs::adHocHelper,
       Timing::Connected,
       "identifier \"com.tarquell.Ferrolux\"",
       true,
       {}},
      {"requirement that does not parse",
       &Programs::genuine,
       &Programs::helperSelf,
       Timing::Connected,
       "identifier \"com.tarquell.Ferrolux\" and",
       false,
       {kRefused}},
  };
  Programs& p = programs();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto conn = p.server.connect(p.*c.peer, c.timing == Timing::Connected ? "stay" : "leave");
    ASSERT_TRUE(conn);
    if (c.timing != Timing::Connected) conn->waitForExit(c.timing == Timing::ExitedAndReaped);
    std::vector<std::string> lines;
    auto admit =
        helper::makeCodesignAdmission([&](std::string_view line) { lines.emplace_back(line); },
                                      {p.chain.trust(), p.*c.self, c.requirement});
    EXPECT_EQ(admit(conn->info()), c.admitted);
    EXPECT_EQ(lines, c.lines);
  }
}

TEST(AdmissionMatrix, EveryConnectionIsCheckedAgain) {
  Programs& p = programs();
  std::vector<std::string> lines;
  auto admit = helper::makeCodesignAdmission(
      [&](std::string_view line) { lines.emplace_back(line); }, {p.chain.trust(), p.helperSelf});
  const std::pair<std::string, bool> sequence[] = {
      {p.genuine, true}, {p.otherIdentifier, false}, {p.genuine, true}, {p.byteChanged, false}};
  for (const auto& [program, expected] : sequence) {
    auto conn = p.server.connect(program, "stay");
    ASSERT_TRUE(conn);
    EXPECT_EQ(admit(conn->info()), expected) << program;
  }
  EXPECT_EQ(lines.size(), 3u);  // one refusal line, then an error line and a refusal line
}

// The peer's executable is opened (and so read and hashed) once per admission, however many
// checks look at it; inotify reports every open and close of the file, through /proc or not
// (opens and closes alternate, so none are merged).
TEST(AdmissionMatrix, ThePeerIsReadOncePerAdmission) {
  Programs& p = programs();
  auto conn = p.server.connect(p.genuine, "stay");
  ASSERT_TRUE(conn);
  auto admit =
      helper::makeCodesignAdmission([](std::string_view) {}, {p.chain.trust(), p.helperSelf});
  const int watch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  ASSERT_GE(watch, 0);
  ASSERT_GE(inotify_add_watch(watch, p.genuine.c_str(), IN_OPEN | IN_CLOSE_NOWRITE), 0);
  for (int round = 0; round < 2; ++round) {
    EXPECT_TRUE(admit(conn->info()));
    alignas(inotify_event) char events[4096];
    const ssize_t n = read(watch, events, sizeof events);
    EXPECT_EQ(n, static_cast<ssize_t>(2 * sizeof(inotify_event))) << "one open and one close";
  }
  close(watch);
}

TEST(AdmissionMatrix, RequirementCheckFollowsTheHandle) {
  Programs& p = programs();
  auto conn = p.server.connect(p.genuine, "stay");
  ASSERT_TRUE(conn);
  helper::AdmissionConfig config{p.chain.trust(), p.helperSelf};
  helper::PeerInfo byStartTime = conn->info();
  byStartTime.pidfd = -1;  // as on a kernel without SO_PEERPIDFD
  int ownPidfd = static_cast<int>(syscall(SYS_pidfd_open, getpid(), 0));
  ASSERT_GE(ownPidfd, 0);
  helper::PeerInfo mismatched = conn->info();
  mismatched.pidfd = ownPidfd;  // a handle on some other process
  struct Row {
    const char* name;
    helper::PeerInfo peer;
    bool expected;
  } rows[] = {
      {"pid and start time", byStartTime, true},
      // Without SO_PEERPIDFD the socket gives no handle, and this repeats the row above.
      {"pidfd from the socket", conn->info(), true},
      {"pidfd naming another process", mismatched, false},
      {"no such pid", {.pid = 0}, false},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    EXPECT_EQ(helper::checkClientRequirement(r.peer, config), r.expected);
  }
  close(ownPidfd);
}

}  // namespace
}  // namespace codesign::peertest
