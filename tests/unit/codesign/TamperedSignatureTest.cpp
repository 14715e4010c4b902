// Every way a signed file can be damaged or forged must fail verification with the right kind
// of failure, and never read outside the file.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "shared/codesign/SignatureFormat.h"
#include "shared/codesign/Signer.h"
#include "shared/codesign/Verifier.h"
#include "support/TestPki.h"

namespace codesign {
namespace {

using Bytes = std::vector<std::uint8_t>;
using testpki::KeyAndCert;
using testpki::TestChain;

Bytes someCode(std::size_t n, std::uint8_t seed) {
  Bytes code(n);
  for (std::size_t i = 0; i < n; ++i)
    code[i] = static_cast<std::uint8_t>(seed + i * 7);
  return code;
}

Bytes sign(const Bytes& code, const SigningIdentity* id, const std::string& ident = "com.x") {
  std::string error;
  auto out = signBytes(code, ident, id, error);
  EXPECT_TRUE(out) << error;
  return out ? *out : Bytes{};
}

// Code followed by an arbitrary blob under a well-formed info block and marker.
Bytes withTrailer(Bytes code, const Bytes& blob, BlobKind kind, std::uint32_t declared) {
  code.insert(code.end(), blob.begin(), blob.end());
  auto info = encodeInfo({kind, declared});
  code.insert(code.end(), info.begin(), info.end());
  code.insert(code.end(), kMarker.begin(), kMarker.end());
  return code;
}

std::size_t infoAt(const Bytes& signedFile) {
  return signedFile.size() - kTrailerSize;
}

void setDeclaredLength(Bytes& f, std::uint32_t n) {
  for (int i = 0; i < 4; ++i)
    f[infoAt(f) + 8 + i] = static_cast<std::uint8_t>(n >> (8 * (3 - i)));
}

std::uint32_t declaredLength(const Bytes& f) {
  std::uint32_t n = 0;
  for (int i = 0; i < 4; ++i)
    n = (n << 8) | f[infoAt(f) + 8 + i];
  return n;
}

Bytes cmsOver(const Bytes& content, const SigningIdentity& id, unsigned flags) {
  BioPtr in(BIO_new_mem_buf(content.data(), static_cast<int>(content.size())));
  CmsPtr cms(CMS_sign(id.cert.get(), id.key.get(), nullptr, in.get(), flags | CMS_BINARY));
  EXPECT_TRUE(cms);
  Bytes der(static_cast<std::size_t>(i2d_CMS_ContentInfo(cms.get(), nullptr)));
  unsigned char* p = der.data();
  i2d_CMS_ContentInfo(cms.get(), &p);
  return der;
}

struct Fixture {
  TestChain chain;
  SigningIdentity identity = chain.identity();
  Bytes code = someCode(3000, 1);
  Bytes genuine = sign(code, &identity);
};

Fixture& fixture() {
  static Fixture f;
  return f;
}

struct Case {
  const char* name;
  std::function<Bytes(const Fixture&)> make;
  Status expected;
};

const std::vector<Case>& cases() {
  static const std::vector<Case> all = {
      {"genuine", [](const Fixture& f) { return f.genuine; }, Status::Valid},
      {"empty file", [](const Fixture&) { return Bytes{}; }, Status::NotSigned},
      {"unsigned code", [](const Fixture& f) { return f.code; }, Status::NotSigned},
      {"marker cut short",
       [](const Fixture& f) { return Bytes(f.genuine.begin(), f.genuine.end() - 1); },
       Status::NotSigned},
      {"wrong marker",
       [](const Fixture& f) {
         Bytes b = f.genuine;
         b[b.size() - 5] ^= 0x20;
         return b;
       },
       Status::NotSigned},
      {"junk after the marker",
       [](const Fixture& f) {
         Bytes b = f.genuine;
         b.push_back(0);
         return b;
       },
       Status::NotSigned},
      {"only a marker", [](const Fixture&) { return Bytes(kMarker.begin(), kMarker.end()); },
       Status::NotSigned},
      {"length zero",
       [](const Fixture& f) {
         Bytes b = f.genuine;
         setDeclaredLength(b, 0);
         return b;
       },
       Status::Malformed},
      {"length overflowing",
       [](const Fixture& f) {
         Bytes b = f.genuine;
         setDeclaredLength(b, 0xFFFFFFFFu);
         return b;
       },
       Status::Malformed},
      {"length past the start of the file",
       [](const Fixture& f) {
         Bytes b = f.genuine;
         setDeclaredLength(b, static_cast<std::uint32_t>(b.size() - kTrailerSize + 1));
         return b;
       },
       Status::Malformed},
      {"length above the limit but inside the file",
       [](const Fixture&) {
         return withTrailer(Bytes(kMaxBlobSize + 10, 0), Bytes(1, 0), BlobKind::Cms,
                            kMaxBlobSize + 1);
       },
       Status::Malformed},
      {"length one short",
       [](const Fixture& f) {
         Bytes b = f.genuine;
         setDeclaredLength(b, declaredLength(b) - 1);
         return b;
       },
       Status::Malformed},
      {"length one long",
       [](const Fixture& f) {
         Bytes b = f.genuine;
         setDeclaredLength(b, declaredLength(b) + 1);
         return b;
       },
       Status::Malformed},
      {"signature truncated in the middle",
       [](const Fixture& f) {
         Bytes b = f.genuine;
         std::uint32_t n = declaredLength(b);
         b.erase(b.begin() + static_cast<long>(infoAt(b) - n / 2),
                 b.begin() + static_cast<long>(infoAt(b) - n / 2 + 10));
         setDeclaredLength(b, n - 10);
         return b;
       },
       Status::Malformed},
      {"junk between signature and info block",
       [](const Fixture& f) {
         Bytes b = f.genuine;
         b.insert(b.begin() + static_cast<long>(infoAt(b)), {1, 2, 3, 4});
         return b;
       },
       Status::Malformed},
      {"junk between info block and marker",
       [](const Fixture& f) {
         Bytes b = f.genuine;
         b.insert(b.begin() + static_cast<long>(infoAt(b) + kInfoSize), {0, 0, 0, 0});
         return b;
       },
       Status::Malformed},
      {"junk between code and signature",
       [](const Fixture& f) {
         Bytes b = f.genuine;
         b.insert(b.begin() + static_cast<long>(f.code.size()), {9, 9});
         return b;
       },
       Status::Modified},
      {"unknown format version",
       [](const Fixture& f) {
         Bytes b = f.genuine;
         b[infoAt(b)] = 2;
         return b;
       },
       Status::Malformed},
      {"unknown blob kind",
       [](const Fixture& f) {
         Bytes b = f.genuine;
         b[infoAt(b) + 1] = 7;
         return b;
       },
       Status::Malformed},
      {"reserved byte set",
       [](const Fixture& f) {
         Bytes b = f.genuine;
         b[infoAt(b) + 4] = 1;
         return b;
       },
       Status::Malformed},
      {"CMS relabelled as ad hoc",
       [](const Fixture& f) {
         Bytes b = f.genuine;
         b[infoAt(b) + 1] = static_cast<std::uint8_t>(BlobKind::AdHoc);
         return b;
       },
       Status::Malformed},
      {"blob that is not DER",
       [](const Fixture& f) { return withTrailer(f.code, Bytes(64, 0x41), BlobKind::Cms, 64); },
       Status::Malformed},
      {"detached CMS",
       [](const Fixture& f) {
         CodeDirectory dir{"com.x", f.code.size(), {}};
         Bytes blob = cmsOver(encodeCodeDirectory(dir), f.identity, CMS_DETACHED);
         return withTrailer(f.code, blob, BlobKind::Cms, static_cast<std::uint32_t>(blob.size()));
       },
       Status::Malformed},
      {"CMS over something that is not a code directory",
       [](const Fixture& f) {
         Bytes blob = cmsOver(Bytes(40, 7), f.identity, 0);
         return withTrailer(f.code, blob, BlobKind::Cms, static_cast<std::uint32_t>(blob.size()));
       },
       Status::Malformed},
      {"ad-hoc directory with a byte too many",
       [](const Fixture& f) {
         CodeDirectory dir{"com.x", f.code.size(), {}};
         Bytes blob = encodeCodeDirectory(dir);
         blob.push_back(0);
         return withTrailer(f.code, blob, BlobKind::AdHoc, static_cast<std::uint32_t>(blob.size()));
       },
       Status::Malformed},
      {"code byte changed after signing",
       [](const Fixture& f) {
         Bytes b = f.genuine;
         b[100] ^= 1;
         return b;
       },
       Status::Modified},
      {"code byte removed after signing",
       [](const Fixture& f) {
         Bytes b = f.genuine;
         b.erase(b.begin());
         return b;
       },
       Status::Modified},
      {"signature moved from another file",
       [](const Fixture& f) {
         Bytes other = someCode(f.code.size(), 2);
         other.insert(other.end(), f.genuine.begin() + static_cast<long>(f.code.size()),
                      f.genuine.end());
         return other;
       },
       Status::Modified},
      {"signature value changed",
       [](const Fixture& f) {
         Bytes b = f.genuine;
         b[infoAt(b) - 3] ^= 0x55;  // inside the signer's signature value
         return b;
       },
       Status::BadSignature},
      {"another key with the same names",
       [](const Fixture& f) {
         KeyAndCert fakeAnchor = testpki::makeCert(testpki::kAnchorCN, nullptr, {.ca = true});
         KeyAndCert fakeLeaf = testpki::makeCert(testpki::kDeveloperCN, &fakeAnchor);
         SigningIdentity id = testpki::identityOf(fakeLeaf);
         return sign(f.code, &id);
       },
       Status::NotAnchored},
      {"attacker anchor embedded in the signature",
       [](const Fixture& f) {
         KeyAndCert fakeAnchor = testpki::makeCert(testpki::kAnchorCN, nullptr, {.ca = true});
         KeyAndCert fakeLeaf = testpki::makeCert(testpki::kDeveloperCN, &fakeAnchor);
         SigningIdentity id = testpki::identityOf(fakeLeaf, {&fakeAnchor});
         return sign(f.code, &id);
       },
       Status::NotAnchored},
      {"leaf issued by a non-CA certificate of the anchor",
       [](const Fixture& f) {
         KeyAndCert middle = testpki::makeCert("Not a CA", &f.chain.anchor);
         KeyAndCert leaf = testpki::makeCert(testpki::kDeveloperCN, &middle);
         SigningIdentity id = testpki::identityOf(leaf, {&middle});
         return sign(f.code, &id);
       },
       Status::NotAnchored},
      {"leaf not meant for code signing",
       [](const Fixture& f) {
         KeyAndCert leaf =
             testpki::makeCert(testpki::kDeveloperCN, &f.chain.anchor, {.codeSigning = false});
         SigningIdentity id = testpki::identityOf(leaf);
         return sign(f.code, &id);
       },
       Status::NotAnchored},
      {"expired leaf",
       [](const Fixture& f) {
         KeyAndCert leaf = testpki::makeCert(testpki::kDeveloperCN, &f.chain.anchor,
                                             {.validFromDays = -30, .validUntilDays = -1});
         SigningIdentity id = testpki::identityOf(leaf);
         return sign(f.code, &id);
       },
       Status::NotAnchored},
  };
  return all;
}

TEST(TamperedSignature, EachFailsWithItsKind) {
  const Anchor anchor = fixture().chain.trust();
  for (const Case& c : cases()) {
    SCOPED_TRACE(c.name);
    Bytes file = c.make(fixture());
    Verification v = verify(MemorySource(file), anchor);
    EXPECT_EQ(statusName(v.status), std::string(statusName(c.expected))) << v.reason;
    EXPECT_EQ(v.valid(), c.expected == Status::Valid);
    EXPECT_EQ(v.reason.empty(), v.valid());
    if (!v.intact()) {
      EXPECT_TRUE(v.identifier.empty());
      EXPECT_TRUE(v.chain.empty());
    }
  }
}

// A source that claims to be huge but holds only a trailer at its end, so the size limit is
// checked before anything is hashed.
class HugeSource final : public ByteSource {
 public:
  explicit HugeSource(std::uint64_t size) : size_(size) {
    auto info = encodeInfo({BlobKind::AdHoc, 100});
    tail_.assign(info.begin(), info.end());
    tail_.insert(tail_.end(), kMarker.begin(), kMarker.end());
  }
  std::uint64_t size() const override { return size_; }
  bool readAt(std::uint64_t offset, std::span<std::uint8_t> out, std::string&) const override {
    reads_ += out.size();
    for (std::size_t i = 0; i < out.size(); ++i) {
      std::uint64_t at = offset + i, tailStart = size_ - tail_.size();
      out[i] = at >= tailStart ? tail_[at - tailStart] : 0;
    }
    return true;
  }
  mutable std::uint64_t reads_ = 0;

 private:
  std::uint64_t size_;
  Bytes tail_;
};

TEST(TamperedSignature, OversizedCodeIsRefusedWithoutHashing) {
  const Anchor anchor = fixture().chain.trust();
  for (std::uint64_t size : {(std::uint64_t{256} << 20) + kTrailerSize + 101,
                             kMaxCodeSize + kTrailerSize + 101, ~std::uint64_t{0}}) {
    HugeSource source(size);
    Verification v = verify(source, anchor);
    EXPECT_EQ(v.status, Status::Malformed) << v.reason;
    EXPECT_LE(source.reads_, kTrailerSize);
  }
}

}  // namespace
}  // namespace codesign
