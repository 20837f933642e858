#include "demo_world.h"

#include <windows.h>
#include <wincrypt.h>

#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>

#include "base/ascii.h"
#include "platform/inet_api.h"
#include "platform/win32/wininet_inet_api.h"
#include "support/inet_exchange.h"

namespace kx::test {
namespace {

std::string Env(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? std::string(value) : std::string();
}

std::uint16_t EnvPort(const char* name) {
    return static_cast<std::uint16_t>(std::strtoul(Env(name).c_str(), nullptr, 10));
}

std::optional<DemoWorld> ReadWorld() {
    DemoWorld world;
    world.path = Env("KX_DEMO_PATH");
    world.host = Env("KX_DEMO_HOST");
    world.http_port = EnvPort("KX_DEMO_HTTP_PORT");
    world.https_port = EnvPort("KX_DEMO_HTTPS_PORT");
    world.other_host = Env("KX_DEMO_OTHER_HOST");
    world.untrusted_host = Env("KX_DEMO_UNTRUSTED_HOST");
    world.untrusted_https_port = EnvPort("KX_DEMO_UNTRUSTED_HTTPS_PORT");
    world.ca_file = Env("KX_DEMO_CA");
    world.request_log = Env("KX_DEMO_LOG");
    world.gamelogs = Env("KX_DEMO_GAMELOGS");
    world.engine_host = Env("KX_DEMO_ENGINE_HOST");
    world.engine_other_host = Env("KX_DEMO_ENGINE_OTHER_HOST");
    world.engine_untrusted_host = Env("KX_DEMO_ENGINE_UNTRUSTED_HOST");
    if (world.host.empty() || world.engine_host.empty() || world.http_port == 0 ||
        world.https_port == 0) {
        return std::nullopt;
    }
    return world;
}

struct StoreClose {
    void operator()(HCERTSTORE store) const { CertCloseStore(store, 0); }
};
using UniqueStore = std::unique_ptr<void, StoreClose>;

// A JSON text's value starting at `at` (its opening quote); \u escapes
// below 256 become that byte, as the log writes each body byte.
std::optional<std::string> JsonString(std::string_view json, std::size_t* at) {
    if (*at >= json.size() || json[*at] != '"') return std::nullopt;
    std::string out;
    for (std::size_t i = *at + 1; i < json.size(); ++i) {
        const char c = json[i];
        if (c == '"') {
            *at = i + 1;
            return out;
        }
        if (c != '\\') {
            out += c;
            continue;
        }
        if (++i >= json.size()) return std::nullopt;
        switch (json[i]) {
            case 'n': out += '\n'; break;
            case 'r': out += '\r'; break;
            case 't': out += '\t'; break;
            case 'b': out += '\b'; break;
            case 'f': out += '\f'; break;
            case 'u': {
                if (i + 4 >= json.size()) return std::nullopt;
                const unsigned long code =
                    std::strtoul(std::string(json.substr(i + 1, 4)).c_str(), nullptr, 16);
                out += code < 256 ? static_cast<char>(code) : '?';
                i += 4;
                break;
            }
            default: out += json[i]; break;
        }
    }
    return std::nullopt;
}

// Where the value of "key" starts.
std::optional<std::size_t> ValueOf(std::string_view json, std::string_view key) {
    const std::string needle = "\"" + std::string(key) + "\": ";
    const std::size_t at = json.find(needle);
    if (at == std::string_view::npos) return std::nullopt;
    return at + needle.size();
}

std::optional<std::string> StringField(std::string_view json, std::string_view key) {
    auto at = ValueOf(json, key);
    if (!at) return std::nullopt;
    return JsonString(json, &*at);
}

}  // namespace

const DemoWorld* TheDemoWorld() {
    static const std::optional<DemoWorld> world = ReadWorld();
    return world ? &*world : nullptr;
}

std::optional<std::string> TrustCertificateAuthority(const std::string& pem_file) {
    const std::string pem = ReadWholeFile(pem_file);
    if (pem.empty()) return "cannot read " + pem_file;
    DWORD size = 0;
    if (!CryptStringToBinaryA(pem.c_str(), static_cast<DWORD>(pem.size()),
                              CRYPT_STRING_BASE64HEADER, nullptr, &size, nullptr, nullptr)) {
        return "no certificate in " + pem_file;
    }
    std::string der(size, '\0');
    if (!CryptStringToBinaryA(pem.c_str(), static_cast<DWORD>(pem.size()),
                              CRYPT_STRING_BASE64HEADER,
                              reinterpret_cast<BYTE*>(der.data()), &size, nullptr, nullptr)) {
        return "no certificate in " + pem_file;
    }
    const UniqueStore store(CertOpenSystemStoreA(0, "ROOT"));
    if (!store) return "cannot open the Root store (" + std::to_string(GetLastError()) + ")";
    if (!CertAddEncodedCertificateToStore(store.get(), X509_ASN_ENCODING,
                                          reinterpret_cast<const BYTE*>(der.data()), size,
                                          CERT_STORE_ADD_REPLACE_EXISTING, nullptr)) {
        return "cannot add the CA to the Root store (" + std::to_string(GetLastError()) + ")";
    }
    return std::nullopt;
}

std::optional<std::string> LoggedRequest::Header(std::string_view name) const {
    for (const auto& [key, value] : headers) {
        if (EqualsIgnoringAsciiCase(key, name)) return value;
    }
    return std::nullopt;
}

std::optional<LoggedRequest> ParseLoggedRequest(std::string_view line) {
    LoggedRequest entry;
    auto method = StringField(line, "method");
    auto target = StringField(line, "target");
    auto body = StringField(line, "body");
    auto complete = ValueOf(line, "body_complete");
    auto headers = ValueOf(line, "headers");
    if (!method || !target || !body || !complete || !headers) return std::nullopt;
    entry.method = std::move(*method);
    entry.target = std::move(*target);
    entry.body = std::move(*body);
    entry.complete = line.substr(*complete, 4) == "true";
    // [["Name", "value"], ...]
    std::size_t at = *headers;
    if (line.substr(at, 1) != "[") return std::nullopt;
    ++at;
    while (at < line.size() && line[at] != ']') {
        if (line.substr(at, 1) == ",") at += 2;
        if (line.substr(at, 1) != "[") return std::nullopt;
        ++at;
        auto key = JsonString(line, &at);
        if (!key || line.substr(at, 2) != ", ") return std::nullopt;
        at += 2;
        auto value = JsonString(line, &at);
        if (!value || line.substr(at, 1) != "]") return std::nullopt;
        ++at;
        entry.headers.emplace_back(std::move(*key), std::move(*value));
    }
    return entry;
}

std::vector<LoggedRequest> ReadRequestLog(const std::string& path) {
    std::vector<LoggedRequest> entries;
    std::istringstream lines(ReadWholeFile(path));
    std::string line;
    while (std::getline(lines, line)) {
        if (auto entry = ParseLoggedRequest(line)) entries.push_back(std::move(*entry));
    }
    return entries;
}

bool RunningUnderWine() {
    const HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

std::uint32_t UnknownCaError() {
    constexpr std::uint32_t kErrorInternetSecCertRevFailed = 12057;
    return RunningUnderWine() ? kErrorInternetSecCertRevFailed : kErrorInternetInvalidCa;
}

std::string ReadWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

bool AddDemoFault(std::string_view json) {
    const DemoWorld* world = TheDemoWorld();
    if (world == nullptr) return false;
    WinInetApi api;
    InetExchange exchange(api, 0, kInternetOpenTypeDirect);
    InetTarget post;
    post.host = world->host;
    post.port = world->http_port;
    post.verb = "POST";
    post.path = "/_control/fault";
    post.headers = "content-type: application/json";
    post.body = std::string(json);
    return exchange.Run(post).status_code == 200;
}

}  // namespace kx::test
