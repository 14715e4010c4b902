#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <vector>

#include "shared/codesign/SignatureFormat.h"
#include "shared/codesign/Signer.h"
#include "shared/codesign/Verifier.h"
#include "support/TestPki.h"

namespace codesign {
namespace {

using Bytes = std::vector<std::uint8_t>;
using testpki::KeyAndCert;

const Bytes kCode = {'\x7f', 'E', 'L', 'F', 1, 2, 3, 4, 5, 6, 7, 8};

Bytes signOrFail(const Bytes& in, const std::string& id, const SigningIdentity* who) {
  std::string error;
  auto out = signBytes(in, id, who, error);
  EXPECT_TRUE(out) << error;
  return out.value_or(Bytes{});
}

std::vector<std::string> commonNames(const Verification& v) {
  std::vector<std::string> names;
  for (const auto& c : v.chain)
    names.push_back(c.subjectCommonName);
  return names;
}

TEST(SignVerify, ChainsAreReportedLeafToAnchor) {
  KeyAndCert root = testpki::makeCert("Root", nullptr, {.ca = true});
  KeyAndCert middle = testpki::makeCert("Middle", &root, {.ca = true});
  KeyAndCert leaf = testpki::makeCert(testpki::kDeveloperCN, &middle);
  SigningIdentity withMiddle = testpki::identityOf(leaf, {&middle});
  SigningIdentity leafOnly = testpki::identityOf(leaf);

  struct Row {
    const char* name;
    const SigningIdentity* who;
    const KeyAndCert* anchor;
    Status status;
    std::vector<std::string> chain;
  } rows[] = {
      {"intermediate embedded",
       &withMiddle,
       &root,
       Status::Valid,
       {testpki::kDeveloperCN, "Middle", "Root"}},
      // An intermediate configured as the anchor is trusted where it stands.
      {"intermediate as anchor",
       &leafOnly,
       &middle,
       Status::Valid,
       {testpki::kDeveloperCN, "Middle"}},
      {"intermediate missing", &leafOnly, &root, Status::NotAnchored, {testpki::kDeveloperCN}},
      {"other anchor, chain as presented",
       &withMiddle,
       nullptr,
       Status::NotAnchored,
       {testpki::kDeveloperCN, "Middle"}},
      {"ad hoc", nullptr, &root, Status::NotAnchored, {}},
  };
  KeyAndCert stranger = testpki::makeCert("Stranger", nullptr, {.ca = true});
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    Bytes signedCode = signOrFail(kCode, "com.tarquell.Ferrolux", r.who);
    Verification v =
        verify(MemorySource(signedCode), testpki::anchorOf(r.anchor ? *r.anchor : stranger));
    EXPECT_EQ(statusName(v.status), std::string(statusName(r.status))) << v.reason;
    EXPECT_EQ(v.identifier, "com.tarquell.Ferrolux");
    EXPECT_EQ(v.codeLimit, kCode.size());
    EXPECT_EQ(v.adHoc, r.who == nullptr);
    EXPECT_EQ(commonNames(v), r.chain);
  }
}

TEST(SignVerify, ResigningReplacesTheOldSignature) {
  testpki::TestChain chain;
  SigningIdentity id = chain.identity();
  Bytes once = signOrFail(kCode, "com.first", &id);
  Bytes twice = signOrFail(once, "com.second", &id);
  Bytes adHocAfter = signOrFail(twice, "com.third", nullptr);
  Verification v = verify(MemorySource(twice), chain.trust());
  EXPECT_TRUE(v.valid()) << v.reason;
  EXPECT_EQ(v.identifier, "com.second");
  EXPECT_EQ(v.codeLimit, kCode.size());
  EXPECT_LE(twice.size(), once.size() + 16);  // not a signature stacked on a signature
  EXPECT_TRUE(std::equal(kCode.begin(), kCode.end(), twice.begin()));
  Verification a = verify(MemorySource(adHocAfter), chain.trust());
  EXPECT_EQ(a.status, Status::NotAnchored);
  EXPECT_EQ(a.codeLimit, kCode.size());
}

TEST(SignVerify, RefusesBadIdentifiersAndDamagedSignatures) {
  testpki::TestChain chain;
  SigningIdentity id = chain.identity();
  Bytes damaged = signOrFail(kCode, "com.x", &id);
  damaged[damaged.size() - kTrailerSize + 2] = 1;  // reserved byte
  struct Row {
    const char* name;
    Bytes input;
    std::string identifier;
  } rows[] = {
      {"empty identifier", kCode, ""},
      {"quote in identifier", kCode, "com.\"x"},
      {"space in identifier", kCode, "com x"},
      {"identifier too long", kCode, std::string(256, 'a')},
      {"damaged trailer", damaged, "com.x"},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    std::string error;
    EXPECT_FALSE(signBytes(r.input, r.identifier, &id, error));
    EXPECT_FALSE(error.empty());
  }
}

TEST(SignVerify, SignFileKeepsModeAndVerifiesThroughDescriptor) {
  testpki::TestChain chain;
  SigningIdentity id = chain.identity();
  auto dir = std::filesystem::temp_directory_path() / ("fx-sign-" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  const std::string path = (dir / "prog").string();
  {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(kCode.data()), static_cast<long>(kCode.size()));
  }
  ASSERT_EQ(chmod(path.c_str(), 0751), 0);
  std::string error;
  ASSERT_TRUE(signFile(path, "com.tarquell.Ferrolux", &id, error)) << error;
  ASSERT_TRUE(signFile(path, "com.tarquell.Ferrolux", &id, error)) << error;
  struct stat st {};
  ASSERT_EQ(stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0751u);
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_GE(fd, 0);
  Verification v = verifyFd(fd, chain.trust());
  close(fd);
  EXPECT_TRUE(v.valid()) << v.reason;
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), {}), 1);  // no temp left
  EXPECT_FALSE(signFile((dir / "missing").string(), "com.x", &id, error));
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace codesign
