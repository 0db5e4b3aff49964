// The CA certificate compiled into the library, and the fingerprint of the repository's test CA.
#pragma once

#include <cstddef>

namespace zt::bus {

// PEM text with CR LF line ends.
extern const char kCaCertificatePem[];
extern const size_t kCaCertificatePemSize;

// SHA-256 of the DER form of certs/ca.crt, whose private key is public in the repository.
extern const unsigned char kTestCaSha256[32];

} // namespace zt::bus
