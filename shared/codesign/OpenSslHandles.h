// Owning handles for the OpenSSL objects the signing code uses, so every path frees them.
#pragma once

#include <openssl/bio.h>
#include <openssl/cms.h>
#include <openssl/evp.h>
#include <openssl/x509.h>
#include <openssl/x509_vfy.h>

#include <memory>
#include <string>

namespace codesign {

struct OpenSslFree {
  void operator()(BIO* p) const { BIO_free_all(p); }
  void operator()(CMS_ContentInfo* p) const { CMS_ContentInfo_free(p); }
  void operator()(EVP_PKEY* p) const { EVP_PKEY_free(p); }
  void operator()(EVP_MD_CTX* p) const { EVP_MD_CTX_free(p); }
  void operator()(X509* p) const { X509_free(p); }
  void operator()(X509_STORE* p) const { X509_STORE_free(p); }
  void operator()(X509_STORE_CTX* p) const { X509_STORE_CTX_free(p); }
  void operator()(STACK_OF(X509) * p) const { sk_X509_pop_free(p, X509_free); }
};

using BioPtr = std::unique_ptr<BIO, OpenSslFree>;
using CmsPtr = std::unique_ptr<CMS_ContentInfo, OpenSslFree>;
using PkeyPtr = std::unique_ptr<EVP_PKEY, OpenSslFree>;
using MdCtxPtr = std::unique_ptr<EVP_MD_CTX, OpenSslFree>;
using X509Ptr = std::unique_ptr<X509, OpenSslFree>;
using StorePtr = std::unique_ptr<X509_STORE, OpenSslFree>;
using StoreCtxPtr = std::unique_ptr<X509_STORE_CTX, OpenSslFree>;
using X509StackPtr = std::unique_ptr<STACK_OF(X509), OpenSslFree>;

// The most recent OpenSSL error as text (and the queue cleared), for reasons and messages.
std::string takeOpenSslError();

}  // namespace codesign
