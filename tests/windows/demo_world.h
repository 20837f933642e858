#pragma once

// The demo service as the Windows tests see it: started by the driver
// (run_with_demo.py), which tells where through the environment, and trusted
// through the Wine prefix's own certificate store.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kx::test {

struct DemoWorld {
    // "namespace": the service on ports 80 and 443 in a network namespace of
    // the driver's, its names in a private hosts file; "proxy": free ports
    // on loopback, reached directly under "localhost" and by the engine
    // through the driver's forwarding proxy (http_proxy).
    std::string path;
    // Where a session with direct access reaches the service.
    std::string host;  // a name the service's certificate is issued for
    std::uint16_t http_port = 0;
    std::uint16_t https_port = 0;
    // Reaches the service under a name its certificate does not carry; empty
    // when the path has none.
    std::string other_host;
    // A second service whose certificate authority nobody trusts.
    std::string untrusted_host;
    std::uint16_t untrusted_https_port = 0;
    std::string ca_file;      // the first service's CA, PEM
    std::string request_log;  // its requests.jsonl
    std::string gamelogs;     // the folder its uploads are stored in

    // The names under which the request engine, which always uses ports 80
    // and 443 and the system's settings, reaches the two services; the
    // first is also in the certificate, the second not.
    std::string engine_host;
    std::string engine_other_host;
    std::string engine_untrusted_host;
};

// Read once from the environment; nothing when the driver did not start one.
const DemoWorld* TheDemoWorld();

// POSTs a fault object to the first service's control page on a session of
// its own; true when the service took it.
bool AddDemoFault(std::string_view json);

// Adds the PEM file's first certificate to the current user's Root store;
// the reason on failure.
std::optional<std::string> TrustCertificateAuthority(const std::string& pem_file);

struct LoggedRequest {
    std::string method;
    std::string target;
    bool complete = false;
    std::vector<std::pair<std::string, std::string>> headers;
    std::string body;

    std::optional<std::string> Header(std::string_view name) const;
};

// The request log's entries so far; lines that do not parse are left out.
std::vector<LoggedRequest> ReadRequestLog(const std::string& path);

// One entry of the log; nothing for a line that is not an entry.
std::optional<LoggedRequest> ParseLoggedRequest(std::string_view line);

std::string ReadWholeFile(const std::string& path);

// Whether the program runs under Wine rather than Windows.
bool RunningUnderWine();

// What WinINet reports for a certificate whose authority is not trusted:
// ERROR_INTERNET_INVALID_CA on Windows. Wine's WinINet reports the failed
// revocation check of such a chain instead (ERROR_INTERNET_SEC_CERT_REV_FAILED).
std::uint32_t UnknownCaError();

}  // namespace kx::test
