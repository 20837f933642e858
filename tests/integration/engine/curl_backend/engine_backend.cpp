#include "engine_backend.h"

#include "platform/linux/curl_inet_api.h"

namespace kx::test {

std::string EngineBackend::Unavailable() const {
    return service_.running() ? std::string() : "the demo service did not start";
}

std::unique_ptr<InetApi> EngineBackend::MakeInet(const SuiteInetOptions& options) const {
    CurlInetConfig config;
    if (options.trust_demo_ca) config.ca_file = service_.ca_file();
    if (options.only_port) {
        const std::string host(kDemoHost);
        const std::uint16_t port = *options.only_port;
        const std::uint16_t other = port == 443 ? 80 : 443;
        const std::uint16_t demo = port == 443 ? service_.https_port() : service_.http_port();
        config.connect_to = {host + ":" + std::to_string(port) + ":127.0.0.1:" + std::to_string(demo),
                             host + ":" + std::to_string(other) + ":127.0.0.1:1"};
    } else {
        config.connect_to = service_.ConnectTo();
    }
    // A closed port, for the suites' host that leads nowhere.
    config.connect_to.push_back("closed.kestrix.test:80:127.0.0.1:1");
    return std::make_unique<CurlInetApi>(std::move(config));
}

std::uint32_t EngineBackend::UnknownCaError() const { return kErrorInternetInvalidCa; }

}  // namespace kx::test
