// What the build itself signs: the test peer is signed after linking with the configured
// developer certificate, so it satisfies the helper's client requirement under the anchor that
// fx_anchor embeds, and a helper signed the same way admits it.
#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "PeerHarness.h"
#include "helper/admission/ClientAdmission.h"
#include "shared/codesign/ConfiguredAnchor.h"
#include "shared/codesign/Requirement.h"
#include "shared/codesign/Signer.h"

namespace codesign::peertest {
namespace {

Anchor configured() {
  auto anchor = Anchor::fromPem(configuredAnchorPem());
  if (!anchor) throw std::runtime_error("no configured anchor");
  return *anchor;
}

TEST(BuildSigning, BuiltPeerSatisfiesTheHelperRequirement) {
  int fd = open(FERROLUX_TEST_PEER, O_RDONLY | O_CLOEXEC);
  ASSERT_GE(fd, 0);
  Verification v = verifyFd(fd, configured());
  close(fd);
  ASSERT_TRUE(v.valid()) << v.reason;
  EXPECT_EQ(v.identifier, "com.tarquell.Ferrolux");
  EXPECT_EQ(v.chain.front().subjectCommonName, "Developer ID Application: Tarquell (QZ4K8WD2RM)");
  auto requirement = Requirement::parse(kHelperClientRequirement);
  ASSERT_TRUE(requirement);
  EXPECT_TRUE(requirement->isSatisfiedBy(v));
}

TEST(BuildSigning, HelperSignedWithTheBuildCertificateAdmitsTheBuiltPeer) {
  PeerServer server;
  std::string certPem, keyPem, error;
  ASSERT_TRUE(readWholeFile(FERROLUX_SIGNING_CERT_FILE, certPem, error)) << error;
  ASSERT_TRUE(readWholeFile(FERROLUX_SIGNING_KEY_FILE, keyPem, error)) << error;
  auto identity = loadSigningIdentity(certPem, keyPem, error);
  ASSERT_TRUE(identity) << error;
  auto helperSelf = server.dir() / "helper";
  writeExecutable(helperSelf, readFile(FERROLUX_TEST_PEER));
  ASSERT_TRUE(signFile(helperSelf.string(), "com.tarquell.powermetrics", &*identity, error))
      << error;

  std::vector<std::string> lines;
  auto admit =
      helper::makeCodesignAdmission([&](std::string_view line) { lines.emplace_back(line); },
                                    {configured(), helperSelf.string()});
  auto conn = server.connect(FERROLUX_TEST_PEER, "stay");
  ASSERT_TRUE(conn);
  EXPECT_TRUE(admit(conn->info()));
  EXPECT_TRUE(lines.empty());
  // The helper program itself, signed under its own identifier, is not a client.
  auto impostor = server.connect(helperSelf.string(), "stay");
  ASSERT_TRUE(impostor);
  EXPECT_FALSE(admit(impostor->info()));
  EXPECT_EQ(lines, std::vector<std::string>{"[PWMJBS]: Client is not valid"});
}

}  // namespace
}  // namespace codesign::peertest
