// The CA certificate compiled into the library, and the file it is written to for the
// MQTT library, which reads CA certificates only from files.
#pragma once

#include <cstddef>
#include <string>

namespace busline {

// PEM text with CR LF line ends.
extern const char kCaCertificatePem[];
extern const size_t kCaCertificatePemSize;

// "<temporary directory><program base name>_busline_cert.tmp".
std::string caCertificatePath();

// Writes the certificate to caCertificatePath() and returns the path. The file is replaced
// atomically, so a session of another thread that is loading it never sees it half written.
// A failed write is not reported: the TLS setting or the handshake that follows fails instead.
std::string writeCaCertificateFile();

} // namespace busline
