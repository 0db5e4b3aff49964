// A TLS client context that trusts the CA certificates of a PEM text, built in memory.
#pragma once

#include <memory>
#include <openssl/ssl.h>
#include <string>

namespace zt::bus {

struct SslCtxFree {
  void operator()(SSL_CTX *pCtx) const { SSL_CTX_free(pCtx); }
};
using TlsContext = std::unique_ptr<SSL_CTX, SslCtxFree>;

// Verifies the broker's chain against the certificates in strPem (host name not checked),
// TLS 1.2 or later. Null when strPem holds no certificate. bTestCa tells whether one of them
// is the repository's test CA.
TlsContext makeTlsContext(const std::string &strPem, bool &bTestCa);

} // namespace zt::bus
