#pragma once

// Linux backend: what the libcurl internet port is set up with.
//
// Implements:
//  - ReadCurlInetConfig: the extra CA file and the connect-to map from the
//    registry;
//  - the settings every transfer shares: time-outs clamped to what libcurl
//    takes, the well-formed connect-to entries, and the CA file's
//    certificates together with the system's bundle, read into one store
//    that every handshake shares.
//
// Missing: proxy settings from the registry; the proxy comes from the
// environment.

#include <chrono>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/common/http_text.h"
#include "platform/linux/curl_ca_store.h"
#include "platform/registry.h"

namespace kx {

struct CurlInetConfig {
    // PEM file of certificates trusted besides the system's; empty for none.
    std::string ca_file;
    // "host:port:address:port" entries, as libcurl's CURLOPT_CONNECT_TO takes
    // them (see IsConnectToEntry in platform/common/http_text.h).
    std::vector<std::string> connect_to;
    // WinINet's defaults; a receive time-out counts from the last byte that came in.
    std::chrono::milliseconds connect_timeout{std::chrono::seconds(60)};
    std::chrono::milliseconds receive_timeout{std::chrono::seconds(60)};
};

// The well-formed entries of a list separated by ';' or ','; each malformed
// one is left out with a line on stderr.
std::vector<std::string> ParseConnectToList(std::string_view list);

// Reads "CAFile" and "ConnectTo" under HKEY_LOCAL_MACHINE\Software\Kestrix
// Inc.\General. Missing values give the defaults; unreadable values are left
// out with a line on stderr.
CurlInetConfig ReadCurlInetConfig(Registry& registry);

namespace curl_inet {

// What every transfer shares; kept alive by each transfer, which may outlive the api.
struct Settings {
    std::string ca_blob;  // PEM text given to libcurl besides its own CA store
    // The certificates libcurl would otherwise read at each handshake; when
    // there is none, libcurl reads `ca_blob` or its own bundle itself.
    std::shared_ptr<const curl_inet::CaStore> ca_store;
    std::vector<std::string> connect_to;
    long connect_timeout_ms = 60000;
    long receive_timeout_s = 60;
};

// Leaves out, with a line on stderr, what cannot be used.
std::shared_ptr<const Settings> MakeSettings(const CurlInetConfig& config);

}  // namespace curl_inet
}  // namespace kx
