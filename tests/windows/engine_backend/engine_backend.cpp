#include "engine_backend.h"

#include "platform/win32/wininet_inet_api.h"
#include "support/inet_exchange.h"

namespace kx::test {

std::string EngineBackend::Unavailable() const {
    const DemoWorld* world = TheDemoWorld();
    if (world == nullptr) return "no demo service: run through tests/windows/run_with_demo.py";
    // Through the proxy the closed and unknown hosts would be the proxy's
    // answers, not the network's.
    if (world->path != "namespace") return "the suites need the service on ports 80 and 443";
    if (world->engine_host != kDemoHost) return "the service is not under " + std::string(kDemoHost);
    return {};
}

std::unique_ptr<InetApi> EngineBackend::MakeInet(const SuiteInetOptions&) const {
    return std::make_unique<WinInetApi>();
}

bool EngineBackend::AddFault(std::string_view json) const { return AddDemoFault(json); }

std::vector<LoggedRequest> EngineBackend::Requests() const {
    return ReadRequestLog(TheDemoWorld()->request_log);
}

std::string EngineBackend::UnknownCaHost() const { return TheDemoWorld()->engine_untrusted_host; }

}  // namespace kx::test
