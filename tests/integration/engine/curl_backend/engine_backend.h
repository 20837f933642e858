#pragma once

// The engine suites on libcurl: the demo service as a child process on free
// ports, which the backend's connect-to list maps to ports 80 and 443.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "../suite_options.h"
#include "platform/inet_api.h"
#include "support/demo_peer.h"

namespace kx::test {

class EngineBackend {
public:
    EngineBackend() = default;

    // Empty when the suites can run here, else why not.
    std::string Unavailable() const;

    std::unique_ptr<InetApi> MakeInet(const SuiteInetOptions& options) const;
    bool AddFault(std::string_view json) const { return service_.AddFault(json); }
    std::vector<LoggedRequest> Requests() const { return service_.Requests(); }

    // A host whose certificate comes from an authority nobody trusted, and
    // the error this backend gives for it.
    std::string UnknownCaHost() const { return std::string(kDemoHost); }
    std::uint32_t UnknownCaError() const;

    // Whether the bytes that arrived before a connection reset are all
    // handed over ahead of the error.
    bool KeepsBytesBeforeAReset() const { return true; }

private:
    DemoService service_;
};

}  // namespace kx::test
