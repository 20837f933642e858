#pragma once

// The engine suites on WinINet: the demo service the driver started on ports
// 80 and 443 of a private network (run_with_demo.py), under the names of its
// hosts file, and trusted through the Wine prefix's Root store.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "../demo_world.h"
#include "../../integration/engine/suite_options.h"
#include "platform/inet_api.h"

namespace kx::test {

inline constexpr std::string_view kDemoHost = "demo.kestrix.test";

class EngineBackend {
public:
    EngineBackend() = default;

    // Empty when the suites can run here, else why not.
    std::string Unavailable() const;

    // Trust and ports are the prefix's and the network's, not the API's, so
    // the options change nothing here.
    std::unique_ptr<InetApi> MakeInet(const SuiteInetOptions& options) const;
    bool AddFault(std::string_view json) const;
    std::vector<LoggedRequest> Requests() const;

    std::string UnknownCaHost() const;
    std::uint32_t UnknownCaError() const { return test::UnknownCaError(); }

    // Wine's WinINet drops what the failing read had gathered along with the
    // error; what arrived before it is still kept.
    bool KeepsBytesBeforeAReset() const { return !RunningUnderWine(); }
};

}  // namespace kx::test
