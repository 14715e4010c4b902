#include "shared/codesign/Verifier.h"

#include <openssl/err.h>
#include <openssl/x509v3.h>

#include <cstring>
#include <limits>

#include "shared/codesign/SignatureFormat.h"

namespace codesign {

const char* statusName(Status status) {
  switch (status) {
    case Status::Valid:
      return "valid";
    case Status::NotAnchored:
      return "not anchored";
    case Status::NotSigned:
      return "not signed";
    case Status::Malformed:
      return "malformed";
    case Status::Modified:
      return "modified";
    case Status::BadSignature:
      return "bad signature";
    case Status::ReadError:
      return "read error";
  }
  return "unknown";
}

namespace {

constexpr int kMaxChainDepth = 8;

Verification fail(Status status, std::string reason) {
  ERR_clear_error();
  Verification v;
  v.status = status;
  v.reason = std::move(reason);
  return v;
}

bool appendChain(std::vector<Certificate>& chain, STACK_OF(X509) * certs) {
  for (int i = 0; i < sk_X509_num(certs); ++i) {
    auto described = describeCertificate(sk_X509_value(certs, i));
    if (!described) return false;
    chain.push_back(std::move(*described));
  }
  return true;
}

// The chain as the signer presents it: from the signing certificate, each next certificate is
// one of the embedded ones that issued the previous. Used only to describe an untrusted signer.
bool presentedChain(X509* signer, STACK_OF(X509) * embedded, std::vector<Certificate>& out) {
  X509StackPtr path(sk_X509_new_null());
  if (!path || X509_up_ref(signer) != 1) return false;
  if (sk_X509_push(path.get(), signer) <= 0) {
    X509_free(signer);
    return false;
  }
  X509* current = signer;
  while (sk_X509_num(path.get()) < kMaxChainDepth &&
         X509_check_issued(current, current) != X509_V_OK) {
    X509* next = nullptr;
    for (int i = 0; i < sk_X509_num(embedded) && next == nullptr; ++i) {
      X509* candidate = sk_X509_value(embedded, i);
      bool seen = false;
      for (int j = 0; j < sk_X509_num(path.get()); ++j)
        seen = seen || X509_cmp(sk_X509_value(path.get(), j), candidate) == 0;
      if (!seen && X509_check_issued(candidate, current) == X509_V_OK) next = candidate;
    }
    if (next == nullptr || X509_up_ref(next) != 1) break;
    if (sk_X509_push(path.get(), next) <= 0) {
      X509_free(next);
      break;
    }
    current = next;
  }
  ERR_clear_error();
  return appendChain(out, path.get());
}

// Checks the CMS structure and its signature over the embedded content; hands back the content,
// the signing certificate and the embedded certificates.
Verification openCms(std::span<const std::uint8_t> blob, std::vector<std::uint8_t>& content,
                     X509Ptr& signer, X509StackPtr& embedded) {
  const unsigned char* p = blob.data();
  CmsPtr cms(d2i_CMS_ContentInfo(nullptr, &p, static_cast<long>(blob.size())));
  if (!cms || p != blob.data() + blob.size())
    return fail(Status::Malformed, "the signature is not exactly one CMS structure");
  if (OBJ_obj2nid(CMS_get0_type(cms.get())) != NID_pkcs7_signed)
    return fail(Status::Malformed, "the signature is not CMS signed data");
  const ASN1_OBJECT* inner = CMS_get0_eContentType(cms.get());
  if (inner == nullptr || OBJ_obj2nid(inner) != NID_pkcs7_data)
    return fail(Status::Malformed, "the signed content has an unexpected type");
  STACK_OF(CMS_SignerInfo)* infos = CMS_get0_SignerInfos(cms.get());
  if (infos == nullptr || sk_CMS_SignerInfo_num(infos) != 1)
    return fail(Status::Malformed, "the signature must have exactly one signer");
  ASN1_OCTET_STRING** body = CMS_get0_content(cms.get());
  if (body == nullptr || *body == nullptr)
    return fail(Status::Malformed, "the signature does not carry its code directory");

  BioPtr out(BIO_new(BIO_s_mem()));
  if (!out) return fail(Status::ReadError, "out of memory");
  // The signer's certificate is checked below against the anchor alone, so here only the
  // signature itself is verified.
  if (CMS_verify(cms.get(), nullptr, nullptr, nullptr, out.get(),
                 CMS_NO_SIGNER_CERT_VERIFY | CMS_BINARY) != 1)
    return fail(Status::BadSignature, "the signature does not verify: " + takeOpenSslError());

  STACK_OF(X509)* signers = CMS_get0_signers(cms.get());
  if (signers == nullptr || sk_X509_num(signers) != 1) {
    sk_X509_free(signers);
    return fail(Status::Malformed, "the signer's certificate is missing");
  }
  X509* cert = sk_X509_value(signers, 0);
  const bool held = X509_up_ref(cert) == 1;
  sk_X509_free(signers);
  if (!held) return fail(Status::ReadError, "out of memory");
  signer.reset(cert);
  embedded.reset(CMS_get1_certs(cms.get()));
  if (!embedded) embedded.reset(sk_X509_new_null());

  char* data = nullptr;
  long len = BIO_get_mem_data(out.get(), &data);
  if (len < 0 || (len > 0 && data == nullptr))
    return fail(Status::Malformed, "the code directory cannot be read");
  content.assign(data, data + len);
  Verification ok;
  ok.status = Status::Valid;
  return ok;
}

// Chains the signer to the anchor, using embedded certificates only as untrusted links.
Verification checkTrust(X509* signer, STACK_OF(X509) * embedded, const Anchor& anchor,
                        const VerifyOptions& options) {
  StorePtr store(X509_STORE_new());
  StoreCtxPtr ctx(X509_STORE_CTX_new());
  if (!store || !ctx || X509_STORE_add_cert(store.get(), anchor.cert()) != 1 ||
      X509_STORE_CTX_init(ctx.get(), store.get(), signer, embedded) != 1)
    return fail(Status::ReadError, "cannot set up verification: " + takeOpenSslError());
  X509_VERIFY_PARAM* param = X509_STORE_CTX_get0_param(ctx.get());
  // The store holds only the anchor, so letting the chain stop there cannot admit anything
  // else, and it allows an intermediate CA to be configured as the anchor.
  if (param == nullptr || X509_VERIFY_PARAM_set_flags(param, X509_V_FLAG_PARTIAL_CHAIN) != 1)
    return fail(Status::ReadError, "cannot set up verification: " + takeOpenSslError());
  X509_VERIFY_PARAM_set_depth(param, kMaxChainDepth);
  if (options.atTime) X509_VERIFY_PARAM_set_time(param, *options.atTime);

  Verification v;
  if (X509_verify_cert(ctx.get()) != 1) {
    v.status = Status::NotAnchored;
    v.reason = std::string("the signer does not chain to the anchor: ") +
               X509_verify_cert_error_string(X509_STORE_CTX_get_error(ctx.get()));
    ERR_clear_error();
    return v;
  }
  STACK_OF(X509)* chain = X509_STORE_CTX_get0_chain(ctx.get());
  const int n = chain ? sk_X509_num(chain) : 0;
  if (n < 1 || X509_cmp(sk_X509_value(chain, n - 1), anchor.cert()) != 0) {
    v.status = Status::NotAnchored;
    v.reason = "the verified chain does not end at the anchor";
    return v;
  }
  if ((X509_get_extension_flags(signer) & EXFLAG_XKUSAGE) != 0 &&
      (X509_get_extended_key_usage(signer) & XKU_CODE_SIGN) == 0) {
    v.status = Status::NotAnchored;
    v.reason = "the signing certificate is not for code signing";
    return v;
  }
  if (!appendChain(v.chain, chain)) return fail(Status::ReadError, "cannot encode the chain");
  v.status = Status::Valid;
  return v;
}

}  // namespace

Verification verify(const ByteSource& source, const Anchor& anchor, const VerifyOptions& options) {
  Located loc = locateSignature(source);
  switch (loc.result) {
    case Located::Result::NotSigned:
      return fail(Status::NotSigned, "the code is not signed");
    case Located::Result::Malformed:
      return fail(Status::Malformed, "the signature is malformed: " + loc.reason);
    case Located::Result::ReadError:
      return fail(Status::ReadError, "cannot read the code: " + loc.reason);
    case Located::Result::Found:
      break;
  }
  std::vector<std::uint8_t> blob(loc.info.blobSize);
  std::string error;
  if (!source.readAt(loc.codeLimit, blob, error))
    return fail(Status::ReadError, "cannot read the code: " + error);

  std::vector<std::uint8_t> content;
  X509Ptr signer;
  X509StackPtr embedded;
  const bool adHoc = loc.info.kind == BlobKind::AdHoc;
  if (adHoc) {
    content = std::move(blob);
  } else {
    Verification opened = openCms(blob, content, signer, embedded);
    if (!opened.valid()) return opened;
  }
  auto directory = parseCodeDirectory(content);
  if (!directory) return fail(Status::Malformed, "the code directory is malformed");
  if (directory->codeLimit != loc.codeLimit)
    return fail(Status::Modified, "the code or its signature has been modified");
  std::array<std::uint8_t, kHashSize> hash{};
  if (!hashPrefix(source, loc.codeLimit, hash, error))
    return fail(Status::ReadError, "cannot read the code: " + error);
  if (hash != directory->hash)
    return fail(Status::Modified, "the code or its signature has been modified");

  Verification v;
  if (adHoc) {
    v.status = Status::NotAnchored;
    v.reason = "the signature is ad hoc";
  } else {
    v = checkTrust(signer.get(), embedded.get(), anchor, options);
    if (!v.intact()) return v;
    if (v.status == Status::NotAnchored && !presentedChain(signer.get(), embedded.get(), v.chain))
      return fail(Status::ReadError, "cannot encode the chain");
  }
  v.identifier = directory->identifier;
  v.adHoc = adHoc;
  v.codeLimit = loc.codeLimit;
  return v;
}

Verification verifyFd(int fd, const Anchor& anchor, const VerifyOptions& options) {
  bool ok = false;
  std::string error;
  FdSource source(fd, ok, error);
  if (!ok) return fail(Status::ReadError, "cannot read the code: " + error);
  return verify(source, anchor, options);
}

}  // namespace codesign
