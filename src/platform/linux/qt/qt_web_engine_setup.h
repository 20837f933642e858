#pragma once

// Linux Qt front: the web engine's set-up from the console's settings, so
// that the pages travel the same way as the console's own requests.
//
// Implements:
//  - the engine's switches, made before Qt starts: the connect-to map as
//    host-resolver rules (a port of the page's address is mapped too), and
//    the sandbox turned off only when running as root, where the engine
//    would refuse to start;
//  - trust in the extra CA file: a server certificate the engine does not
//    trust is accepted only when its chain verifies, host name included,
//    against the system's CAs plus that file.

#include <string>
#include <string_view>
#include <vector>

class QWebEngineCertificateError;

namespace kx {

// "host:port:address:port" entries as host-resolver rules; malformed ones
// are left out.
std::string HostResolverRules(const std::vector<std::string>& connect_to);

// Before the QApplication exists: adds the rules to the engine's switches.
void PrepareWebEngine(const std::vector<std::string>& connect_to);

// After the QApplication exists: the certificates of `ca_file` join the
// CAs that certificate checks use. Empty or unreadable: nothing changes.
void TrustExtraCaFile(const std::string& ca_file);

// Accepts the certificate when its chain verifies with the extra CAs;
// otherwise rejects it. Answers whether it was accepted.
bool AcceptWhenExtraCaVouches(QWebEngineCertificateError& error);

}  // namespace kx
