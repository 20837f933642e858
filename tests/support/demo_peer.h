#pragma once

// The peers of the internet backend's tests on loopback: the demo service as
// a child process, and a server that answers with fixed bytes.

#include <sys/types.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include "platform/linux/unique_fd.h"

namespace kx::test {

inline constexpr std::string_view kDemoHost = "demo.kestrix.test";

struct LoggedRequest {
    std::string method;
    std::string target;
    bool complete = false;
    std::vector<std::string> headers;  // "Name: value"
    std::string body;

    // The value of the first header with this name (any case).
    std::optional<std::string> Header(std::string_view name) const;
};

class DemoService {
public:
    DemoService();
    ~DemoService();
    DemoService(const DemoService&) = delete;
    DemoService& operator=(const DemoService&) = delete;

    bool running() const { return https_port_ != 0; }
    std::uint16_t http_port() const { return http_port_; }
    std::uint16_t https_port() const { return https_port_; }
    const std::string& ca_file() const { return ca_file_; }

    // kDemoHost on ports 80 and 443, mapped to the service's ports.
    std::vector<std::string> ConnectTo() const;

    // POSTs a fault object to the control page; true when it was taken.
    bool AddFault(std::string_view json) const;

    std::vector<LoggedRequest> Requests() const;

private:
    pid_t pid_ = -1;
    std::string directory_;
    std::uint16_t http_port_ = 0;
    std::uint16_t https_port_ = 0;
    std::string ca_file_;
};

// Answers one connection with fixed bytes once the request's headers are
// in, then closes it; gives up after a few seconds without a client.
class CannedServer {
public:
    explicit CannedServer(std::string reply);
    ~CannedServer();
    CannedServer(const CannedServer&) = delete;
    CannedServer& operator=(const CannedServer&) = delete;

    std::uint16_t port() const { return port_; }

private:
    void Serve();

    std::string reply_;
    UniqueFd listener_;
    std::uint16_t port_ = 0;
    std::thread thread_;
};

}  // namespace kx::test
