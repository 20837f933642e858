#include "support/demo_peer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <thread>

#include "base/ascii.h"

namespace kx::test {
namespace {

struct PipeClose {
    void operator()(std::FILE* pipe) const { ::pclose(pipe); }
};

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// The number after "key": in the port file's flat JSON object.
std::uint16_t JsonPort(const std::string& json, std::string_view key) {
    const std::size_t at = json.find("\"" + std::string(key) + "\":");
    if (at == std::string::npos) return 0;
    return static_cast<std::uint16_t>(std::strtoul(json.c_str() + at + key.size() + 3, nullptr, 10));
}

std::string JsonText(const std::string& json, std::string_view key) {
    const std::size_t at = json.find("\"" + std::string(key) + "\": \"");
    if (at == std::string::npos) return {};
    const std::size_t begin = at + key.size() + 5;
    return json.substr(begin, json.find('"', begin) - begin);
}

sockaddr LoopbackAddress(std::uint16_t port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    sockaddr generic{};
    std::memcpy(&generic, &address, sizeof address);
    return generic;
}

bool Readable(int fd) {
    pollfd wait{fd, POLLIN, 0};
    return ::poll(&wait, 1, 5000) == 1;
}

std::string FromHex(std::string_view hex) {
    std::string out;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
        out += static_cast<char>(std::stoi(std::string(hex.substr(i, 2)), nullptr, 16));
    }
    return out;
}

}  // namespace

std::optional<std::string> LoggedRequest::Header(std::string_view name) const {
    for (const std::string& header : headers) {
        const std::size_t colon = header.find(':');
        if (colon != name.size()) continue;
        if (EqualsIgnoringAsciiCase(std::string_view(header).substr(0, colon), name)) {
            return header.substr(colon + 2);
        }
    }
    return std::nullopt;
}

DemoService::DemoService() {
    std::string pattern = (std::filesystem::temp_directory_path() / "kx-inet-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) return;
    directory_ = pattern;
    const std::string port_file = directory_ + "/ports.json";
    const std::string state = directory_ + "/state";
    const std::string log = directory_ + "/service.log";
    pid_ = ::fork();
    if (pid_ == 0) {
        const int out = ::open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        ::dup2(out, 1);
        ::dup2(out, 2);
        ::execl(KX_PYTHON, KX_PYTHON, KX_DEMO_SCRIPT, "--http-port", "0", "--https-port", "0",
                 "--port-file", port_file.c_str(), "--state-dir", state.c_str(), "--host-name",
                 std::string(kDemoHost).c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (pid_ > 0 && std::chrono::steady_clock::now() < deadline) {
        if (std::filesystem::exists(port_file)) {
            const std::string json = ReadAll(port_file);
            http_port_ = JsonPort(json, "http");
            ca_file_ = JsonText(json, "ca");
            https_port_ = JsonPort(json, "https");
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

DemoService::~DemoService() {
    if (pid_ > 0) {
        ::kill(pid_, SIGTERM);
        int status = 0;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (::waitpid(pid_, &status, WNOHANG) == 0) {
            if (std::chrono::steady_clock::now() > deadline) {
                ::kill(pid_, SIGKILL);
                ::waitpid(pid_, &status, 0);
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    }
    std::error_code ignored;
    if (!directory_.empty()) std::filesystem::remove_all(directory_, ignored);
}

std::vector<std::string> DemoService::ConnectTo() const {
    const std::string host(kDemoHost);
    return {host + ":80:127.0.0.1:" + std::to_string(http_port_),
            host + ":443:127.0.0.1:" + std::to_string(https_port_)};
}

bool DemoService::AddFault(std::string_view json) const {
    const UniqueFd socket(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    const sockaddr address = LoopbackAddress(http_port_);
    if (::connect(socket.get(), &address, sizeof(sockaddr_in)) != 0) return false;
    const std::string request = "POST /_control/fault HTTP/1.1\r\nHost: 127.0.0.1\r\n"
                                "Connection: close\r\nContent-Length: " +
                                std::to_string(json.size()) + "\r\n\r\n" + std::string(json);
    if (::send(socket.get(), request.data(), request.size(), MSG_NOSIGNAL) !=
        static_cast<ssize_t>(request.size())) {
        return false;
    }
    std::string reply;
    char chunk[4096];
    ssize_t got = 0;
    while ((got = ::recv(socket.get(), chunk, sizeof chunk, 0)) > 0) {
        reply.append(chunk, static_cast<std::size_t>(got));
    }
    return reply.rfind("HTTP/1.1 200", 0) == 0;
}

std::vector<LoggedRequest> DemoService::Requests() const {
    const std::string command = std::string("'") + KX_PYTHON + "' '" + KX_REQUEST_LOG_SCRIPT + "' '" +
                                directory_ + "/state/requests.jsonl'";
    const std::unique_ptr<std::FILE, PipeClose> pipe(::popen(command.c_str(), "r"));
    std::vector<LoggedRequest> requests;
    if (!pipe) return requests;
    std::string text;
    char chunk[4096];
    std::size_t got = 0;
    while ((got = std::fread(chunk, 1, sizeof chunk, pipe.get())) > 0) text.append(chunk, got);
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream words(line);
        std::string kind;
        words >> kind;
        if (kind == "REQUEST") {
            std::string state;
            requests.emplace_back();
            words >> requests.back().method >> requests.back().target >> state;
            requests.back().complete = state == "complete";
        } else if (!requests.empty()) {
            std::string hex;
            words >> hex;
            if (kind == "HEADER") requests.back().headers.push_back(FromHex(hex));
            if (kind == "BODY") requests.back().body = FromHex(hex);
        }
    }
    return requests;
}

CannedServer::CannedServer(std::string reply)
    : reply_(std::move(reply)), listener_(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
    sockaddr address = LoopbackAddress(0);
    socklen_t length = sizeof(sockaddr_in);
    if (::bind(listener_.get(), &address, length) != 0 || ::listen(listener_.get(), 1) != 0 ||
        ::getsockname(listener_.get(), &address, &length) != 0) {
        return;
    }
    sockaddr_in bound{};
    std::memcpy(&bound, &address, sizeof bound);
    port_ = ntohs(bound.sin_port);
    thread_ = std::thread([this] { Serve(); });
}

CannedServer::~CannedServer() {
    if (thread_.joinable()) thread_.join();
}

void CannedServer::Serve() {
    if (!Readable(listener_.get())) return;
    const UniqueFd client(::accept4(listener_.get(), nullptr, nullptr, SOCK_CLOEXEC));
    std::string request;
    char chunk[4096];
    while (request.find("\r\n\r\n") == std::string::npos && Readable(client.get())) {
        const ssize_t got = ::recv(client.get(), chunk, sizeof chunk, 0);
        if (got <= 0) return;
        request.append(chunk, static_cast<std::size_t>(got));
    }
    ::send(client.get(), reply_.data(), reply_.size(), MSG_NOSIGNAL);
}

}  // namespace kx::test
