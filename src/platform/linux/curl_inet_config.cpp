#include "platform/linux/curl_inet_config.h"

#include <algorithm>
#include <cstdio>
#include <iostream>
#include <optional>

#include "base/registry_paths.h"
#include "platform/linux/curl_handles.h"

namespace kx {
namespace {

constexpr std::size_t kMaxRegistryText = 64 * 1024;
constexpr long kMaxCaFileSize = 8L * 1024 * 1024;

void Warn(const std::string& text) { std::cerr << "kestrix: " << text << '\n'; }

std::optional<std::string> ReadFileText(const std::string& path, long limit) {
    const UniqueFile file(std::fopen(path.c_str(), "rb"));
    if (!file) return std::nullopt;
    std::string text;
    char chunk[16 * 1024];
    for (;;) {
        const std::size_t got = std::fread(chunk, 1, sizeof chunk, file.get());
        text.append(chunk, got);
        if (text.size() > static_cast<std::size_t>(limit)) return std::nullopt;
        if (got < sizeof chunk) break;
    }
    if (std::ferror(file.get()) != 0) return std::nullopt;
    return text;
}

std::optional<std::string> ReadRegistryText(Registry& registry, RegKeyHandle key,
                                            std::string_view name) {
    RegType type = RegType::None;
    std::uint32_t size = 0;
    long result = registry.QueryValue(key, name, &type, nullptr, &size);
    if (result == kErrorFileNotFound) return std::nullopt;
    const std::string where = std::string(kGeneralKey) + "\\" + std::string(name);
    if (result != kErrorSuccess) {
        Warn("cannot read " + where + " (error " + std::to_string(result) + "); ignored");
        return std::nullopt;
    }
    if (type != RegType::Sz || size > kMaxRegistryText) {
        Warn(where + " is not a text of at most 64 KiB; ignored");
        return std::nullopt;
    }
    std::string text(size, '\0');
    result = registry.QueryValue(key, name, &type,
                                 reinterpret_cast<std::uint8_t*>(text.data()), &size);
    if (result != kErrorSuccess || type != RegType::Sz) {
        Warn("cannot read " + where + " (error " + std::to_string(result) + "); ignored");
        return std::nullopt;
    }
    text.resize(std::min<std::size_t>(size, text.size()));
    text.resize(std::min(text.size(), text.find('\0')));
    return text;
}

long ClampMilliseconds(std::chrono::milliseconds value) {
    return static_cast<long>(std::clamp<std::chrono::milliseconds::rep>(value.count(), 1, 86400000));
}

std::shared_ptr<curl_inet::Settings> ReadSettings(const CurlInetConfig& config) {
    auto settings = std::make_shared<curl_inet::Settings>();
    settings->connect_timeout_ms = ClampMilliseconds(config.connect_timeout);
    settings->receive_timeout_s = (ClampMilliseconds(config.receive_timeout) + 999) / 1000;
    for (const std::string& entry : config.connect_to) {
        if (IsConnectToEntry(entry)) {
            settings->connect_to.push_back(entry);
        } else {
            Warn("ignoring malformed connect-to entry \"" + entry + "\"");
        }
    }
    if (config.ca_file.empty() || !CurlReady()) return settings;
    const auto extra = ReadFileText(config.ca_file, kMaxCaFileSize);
    if (!extra || extra->find("-----BEGIN CERTIFICATE-----") == std::string::npos) {
        Warn("cannot read certificates from CA file \"" + config.ca_file + "\"; ignored");
        return settings;
    }
    // A CA blob replaces libcurl's CA file, so the system's bundle travels in
    // the blob too; the CA directory, where there is one, is still searched.
    const CurlEasy probe(curl_easy_init());
    char* ca_info = nullptr;
    if (probe) curl_easy_getinfo(probe.get(), CURLINFO_CAINFO, &ca_info);
    if (ca_info != nullptr) {
        if (auto system = ReadFileText(ca_info, kMaxCaFileSize)) {
            settings->ca_blob = std::move(*system) + "\n";
        } else {
            Warn("cannot read the system's CA bundle \"" + std::string(ca_info) +
                 "\"; only the CA directory and the CA file are trusted");
        }
    }
    settings->ca_blob += *extra;
    return settings;
}

// What each handshake would read again, read once: the blob, or libcurl's own
// bundle when there is none, and libcurl's CA directory.
std::shared_ptr<const curl_inet::CaStore> SharedCaStore(const std::string& blob) {
    const CurlEasy probe(curl_easy_init());
    char* ca_info = nullptr;
    char* ca_path = nullptr;
    if (probe) {
        curl_easy_getinfo(probe.get(), CURLINFO_CAINFO, &ca_info);
        curl_easy_getinfo(probe.get(), CURLINFO_CAPATH, &ca_path);
    }
    const std::string directory = ca_path != nullptr ? ca_path : "";
    if (!blob.empty()) return curl_inet::CaStore::Make(blob, directory);
    if (ca_info == nullptr) return nullptr;
    const auto system = ReadFileText(ca_info, kMaxCaFileSize);
    return system ? curl_inet::CaStore::Make(*system, directory) : nullptr;
}

}  // namespace

namespace curl_inet {

std::shared_ptr<const Settings> MakeSettings(const CurlInetConfig& config) {
    auto settings = ReadSettings(config);
    if (CurlReady()) settings->ca_store = SharedCaStore(settings->ca_blob);
    return settings;
}

}  // namespace curl_inet

std::vector<std::string> ParseConnectToList(std::string_view list) {
    std::vector<std::string> entries;
    while (!list.empty()) {
        const std::size_t end = list.find_first_of(";,");
        const std::string_view entry = TrimHttpSpace(list.substr(0, end));
        list.remove_prefix(end == std::string_view::npos ? list.size() : end + 1);
        if (entry.empty()) continue;
        if (IsConnectToEntry(entry)) {
            entries.emplace_back(entry);
        } else {
            Warn("ignoring malformed connect-to entry \"" + std::string(entry) + "\"");
        }
    }
    return entries;
}

CurlInetConfig ReadCurlInetConfig(Registry& registry) {
    CurlInetConfig config;
    UniqueRegKey key(registry);
    const long result = registry.OpenKey(kHKeyLocalMachine, kGeneralKey, RegAccess::Read, key.put());
    if (result == kErrorFileNotFound) return config;
    if (result != kErrorSuccess) {
        Warn("cannot open " + std::string(kGeneralKey) + " (error " + std::to_string(result) +
             "); network settings left at their defaults");
        return config;
    }
    if (auto ca_file = ReadRegistryText(registry, key.get(), kCaFileValue)) {
        config.ca_file = *ca_file;
    }
    if (auto connect_to = ReadRegistryText(registry, key.get(), kConnectToValue)) {
        config.connect_to = ParseConnectToList(*connect_to);
    }
    return config;
}

}  // namespace kx
