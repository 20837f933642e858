#pragma once

// A web server for one request, for the browser's tests: what the control
// sends is taken on 127.0.0.1 exactly as it arrives.

#include <winsock2.h>

#include <atomic>
#include <cctype>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

namespace kx::test {

struct HttpRequest {
    std::string method;
    std::string path;
    std::vector<std::pair<std::string, std::string>> headers;  // names in lower case
    std::string body;

    std::optional<std::string> Header(std::string_view name) const {
        for (const auto& [key, value] : headers) {
            if (key == name) return value;
        }
        return std::nullopt;
    }
};

// Takes one HTTP request on 127.0.0.1 on a thread of its own, keeps it and
// answers 204. Every wait is bounded, so a request that never comes fails the
// test instead of hanging it.
class OneRequestServer {
public:
    OneRequestServer() {
        WSADATA data;
        if (WSAStartup(MAKEWORD(2, 2), &data) != 0) return;
        started_ = true;
        listener_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        if (listener_ == INVALID_SOCKET) return;
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        int size = sizeof address;
        if (bind(listener_, reinterpret_cast<sockaddr*>(&address), size) != 0 ||
            listen(listener_, 4) != 0 ||
            getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
            return;
        }
        port_ = ntohs(address.sin_port);
        thread_ = std::thread([this] { Serve(); });
    }
    ~OneRequestServer() {
        if (listener_ != INVALID_SOCKET) closesocket(listener_);
        if (thread_.joinable()) thread_.join();
        if (started_) WSACleanup();
    }
    OneRequestServer(const OneRequestServer&) = delete;
    OneRequestServer& operator=(const OneRequestServer&) = delete;

    unsigned short Port() const { return port_; }
    bool Done() const { return done_; }
    HttpRequest Request() const { return request_; }

private:
    void Serve() {
        fd_set readable;
        FD_ZERO(&readable);
        FD_SET(listener_, &readable);
        timeval patience{10, 0};
        if (select(0, &readable, nullptr, nullptr, &patience) != 1) return;
        const SOCKET client = accept(listener_, nullptr, nullptr);
        if (client == INVALID_SOCKET) return;
        const DWORD timeout_ms = 10000;
        setsockopt(client, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeout_ms),
                   sizeof timeout_ms);
        std::string received;
        std::size_t header_end = std::string::npos;
        std::size_t wanted = 0;
        char buffer[4096];
        for (;;) {
            if (header_end == std::string::npos) {
                header_end = received.find("\r\n\r\n");
                if (header_end != std::string::npos) {
                    Parse(received.substr(0, header_end));
                    if (const auto length = request_.Header("content-length")) {
                        wanted = std::stoul(*length);
                    }
                }
            }
            if (header_end != std::string::npos && received.size() >= header_end + 4 + wanted) {
                request_.body = received.substr(header_end + 4, wanted);
                break;
            }
            const int got = recv(client, buffer, sizeof buffer, 0);
            if (got <= 0) break;
            received.append(buffer, static_cast<std::size_t>(got));
        }
        constexpr char kAnswer[] = "HTTP/1.1 204 No Content\r\nConnection: close\r\n\r\n";
        send(client, kAnswer, sizeof kAnswer - 1, 0);
        closesocket(client);
        done_ = header_end != std::string::npos;
    }

    void Parse(const std::string& head) {
        std::size_t line_end = head.find("\r\n");
        const std::string first = head.substr(0, line_end);
        const std::size_t space = first.find(' ');
        request_.method = first.substr(0, space);
        request_.path = first.substr(space + 1, first.find(' ', space + 1) - space - 1);
        while (line_end != std::string::npos) {
            const std::size_t start = line_end + 2;
            line_end = head.find("\r\n", start);
            const std::string line = head.substr(start, line_end - start);
            const std::size_t colon = line.find(':');
            if (colon == std::string::npos) continue;
            std::string name = line.substr(0, colon);
            for (char& letter : name) letter = static_cast<char>(std::tolower(letter));
            std::size_t value = colon + 1;
            while (value < line.size() && line[value] == ' ') ++value;
            request_.headers.emplace_back(name, line.substr(value));
        }
    }

    bool started_ = false;
    SOCKET listener_ = INVALID_SOCKET;
    unsigned short port_ = 0;
    std::thread thread_;
    std::atomic<bool> done_{false};
    HttpRequest request_;
};

}  // namespace kx::test
