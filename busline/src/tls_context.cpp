#include "tls_context.h"

#include <cstring>
#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/x509.h>

#include "ca_certificate.h"

namespace zt::bus {

namespace {

struct BioFree {
  void operator()(BIO *pBio) const { BIO_free(pBio); }
};
struct X509Free {
  void operator()(X509 *pCert) const { X509_free(pCert); }
};

bool isTestCa(const X509 *pCert) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int nLen = 0;
  return X509_digest(pCert, EVP_sha256(), digest, &nLen) == 1 && nLen == sizeof kTestCaSha256 &&
         std::memcmp(digest, kTestCaSha256, nLen) == 0;
}

} // namespace

TlsContext makeTlsContext(const std::string &strPem, bool &bTestCa) {
  bTestCa = false;
  TlsContext ctx(SSL_CTX_new(TLS_client_method()));
  std::unique_ptr<BIO, BioFree> bio(BIO_new_mem_buf(strPem.data(), int(strPem.size())));
  if (!ctx || !bio || SSL_CTX_set_min_proto_version(ctx.get(), TLS1_2_VERSION) != 1) {
    ERR_clear_error();
    return nullptr;
  }
  X509_STORE *pStore = SSL_CTX_get_cert_store(ctx.get());
  int nCertificates = 0;
  while (std::unique_ptr<X509, X509Free> cert{PEM_read_bio_X509(bio.get(), nullptr, nullptr, nullptr)}) {
    if (X509_STORE_add_cert(pStore, cert.get()) != 1) {
      ERR_clear_error();
      return nullptr;
    }
    bTestCa = bTestCa || isTestCa(cert.get());
    ++nCertificates;
  }
  // The read that ends the loop leaves an error behind, which the TLS handshake that may follow
  // on this thread must not see.
  ERR_clear_error();
  if (nCertificates == 0) {
    return nullptr;
  }
  SSL_CTX_set_verify(ctx.get(), SSL_VERIFY_PEER, nullptr);
  return ctx;
}

} // namespace zt::bus
