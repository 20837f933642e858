// How fast the request engine on the libcurl backend moves a large download
// over loopback, next to the curl command line fetching the same file from
// the same server, and how long a LOGIN round trip to the demo service takes.
// Run by hand; see bench/README.md.

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/sendfile.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "base/form_encoding.h"
#include "net/http_request_engine.h"
#include "net/service_interface.h"
#include "support/demo_peer.h"
#include "platform/debug_output.h"
#include "platform/linux/curl_inet_api.h"
#include "platform/linux/unique_fd.h"

namespace {

using Clock = std::chrono::steady_clock;
using Seconds = std::chrono::duration<double>;
using kx::test::kDemoHost;

constexpr std::string_view kLocalHost = "bench.kestrix.test";

struct Options {
    std::uint64_t size_mib = 200;
    int runs = 5;
    int logins = 50;
    bool demo_source = true;
};

std::optional<Options> ParseOptions(int argc, char** argv) {
    Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        const bool has_value = i + 1 < argc;
        if (arg == "--size-mib" && has_value) {
            options.size_mib = std::strtoull(argv[++i], nullptr, 10);
        } else if (arg == "--runs" && has_value) {
            options.runs = std::atoi(argv[++i]);
        } else if (arg == "--logins" && has_value) {
            options.logins = std::atoi(argv[++i]);
        } else if (arg == "--no-demo-download") {
            options.demo_source = false;
        } else {
            return std::nullopt;
        }
    }
    if (options.size_mib == 0 || options.runs < 1 || options.logins < 1) return std::nullopt;
    return options;
}

// The posted messages a dialog would handle, reduced to what the benchmark
// needs: how many chunks came, and when the request ended.
class CountingWindow final : public kx::Notifier {
public:
    void Post(std::uint32_t message, std::uintptr_t wparam, std::intptr_t) override {
        if (message == kx::WM_INET_DATA) {
            chunks_.fetch_add(1, std::memory_order_relaxed);
            bytes_.fetch_add(wparam, std::memory_order_relaxed);
        } else if (message == kx::WM_INET_DONE) {
            {
                const std::lock_guard lock(mutex_);
                done_ = true;
            }
            changed_.notify_all();
        }
    }

    void Reset() {
        chunks_ = 0;
        bytes_ = 0;
        const std::lock_guard lock(mutex_);
        done_ = false;
    }

    bool WaitDone(std::chrono::seconds timeout) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, timeout, [this] { return done_; });
    }

    std::uint64_t chunks() const { return chunks_; }
    std::uint64_t bytes() const { return bytes_; }

private:
    std::atomic<std::uint64_t> chunks_{0};
    std::atomic<std::uint64_t> bytes_{0};
    std::mutex mutex_;
    std::condition_variable changed_;
    bool done_ = false;
};

// Serves one file to every GET with sendfile, one connection at a time, so
// that the server costs next to nothing and the client is what is measured.
class SendfileServer {
public:
    explicit SendfileServer(const std::string& path)
        : file_(::open(path.c_str(), O_RDONLY | O_CLOEXEC)),
          listener_(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
        struct stat info {};
        if (!file_ || ::fstat(file_.get(), &info) != 0) return;
        size_ = static_cast<std::uint64_t>(info.st_size);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (::bind(listener_.get(), reinterpret_cast<sockaddr*>(&address), length) != 0 ||
            ::listen(listener_.get(), 8) != 0 ||
            ::getsockname(listener_.get(), reinterpret_cast<sockaddr*>(&address), &length) != 0) {
            return;
        }
        port_ = ntohs(address.sin_port);
        thread_ = std::thread([this] { Serve(); });
    }

    ~SendfileServer() {
        // Wakes the blocked accept.
        ::shutdown(listener_.get(), SHUT_RDWR);
        if (thread_.joinable()) thread_.join();
    }

    SendfileServer(const SendfileServer&) = delete;
    SendfileServer& operator=(const SendfileServer&) = delete;

    std::uint16_t port() const { return port_; }

private:
    void Serve() {
        for (;;) {
            const kx::UniqueFd client(::accept4(listener_.get(), nullptr, nullptr, SOCK_CLOEXEC));
            if (!client) return;
            std::string request;
            char chunk[4096];
            while (request.find("\r\n\r\n") == std::string::npos) {
                const ssize_t got = ::recv(client.get(), chunk, sizeof chunk, 0);
                if (got <= 0) break;
                request.append(chunk, static_cast<std::size_t>(got));
            }
            const std::string head = "HTTP/1.1 200 OK\r\nContent-Type: application/octet-stream\r\n"
                                     "Content-Length: " + std::to_string(size_) +
                                     "\r\nConnection: close\r\n\r\n";
            if (::send(client.get(), head.data(), head.size(), MSG_NOSIGNAL) !=
                static_cast<ssize_t>(head.size())) {
                continue;
            }
            off_t offset = 0;
            while (static_cast<std::uint64_t>(offset) < size_) {
                const std::uint64_t left = size_ - static_cast<std::uint64_t>(offset);
                if (::sendfile(client.get(), file_.get(), &offset, left) <= 0) break;
            }
            ::shutdown(client.get(), SHUT_WR);
            // Lets the client read to the end before the socket goes.
            while (::recv(client.get(), chunk, sizeof chunk, 0) > 0) {
            }
        }
    }

    kx::UniqueFd file_;
    kx::UniqueFd listener_;
    std::uint64_t size_ = 0;
    std::uint16_t port_ = 0;
    std::thread thread_;
};

bool WritePatternFile(const std::string& path, std::uint64_t size) {
    std::vector<char> block(251 * 4096);
    for (std::size_t i = 0; i < block.size(); ++i) block[i] = static_cast<char>(i % 251);
    std::ofstream out(path, std::ios::binary);
    for (std::uint64_t left = size; left > 0;) {
        const std::size_t piece = static_cast<std::size_t>(std::min<std::uint64_t>(left, block.size()));
        out.write(block.data(), static_cast<std::streamsize>(piece));
        left -= piece;
    }
    return static_cast<bool>(out.flush());
}

struct Source {
    std::string name;
    std::string host;  // the name in the URL, on port 80
    std::uint16_t port = 0;
    std::string path;
};

std::string ConnectTo(const Source& source) {
    return source.host + ":80:127.0.0.1:" + std::to_string(source.port);
}

struct Sample {
    double seconds = 0;
    std::uint64_t bytes = 0;
    std::uint64_t chunks = 0;
};

std::optional<Sample> EngineDownload(const Source& source) {
    kx::CurlInetConfig config;
    config.connect_to = {ConnectTo(source)};
    kx::CurlInetApi inet(config);
    const auto shared_window = std::make_shared<CountingWindow>();
    CountingWindow& window = *shared_window;
    kx::HttpRequestEngine engine(inet);
    engine.SetNotificationWindow(shared_window);
    if (!engine.OpenSession(kx::InternetAccess::Preconfigured)) return std::nullopt;
    const auto start = Clock::now();
    if (!engine.StartDownload("http://" + source.host + source.path, "/dev/null")) return std::nullopt;
    if (!window.WaitDone(std::chrono::seconds(300))) return std::nullopt;
    const auto end = Clock::now();
    if (engine.Error() != 0 || engine.StatusCode() != 200) {
        std::fprintf(stderr, "engine download failed: error %u, status %u\n", engine.Error(),
                     engine.StatusCode());
        return std::nullopt;
    }
    return Sample{Seconds(end - start).count(), window.bytes(), window.chunks()};
}

// curl's own measure of the transfer, from resolving the name to the last
// byte, so the start of its process does not count against it.
std::optional<Sample> CurlDownload(const Source& source) {
    const std::string command = "curl -s -o /dev/null --connect-to '" + ConnectTo(source) +
                                "' -w '%{time_total} %{size_download}' 'http://" + source.host +
                                source.path + "'";
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> pipe(::popen(command.c_str(), "r"), ::pclose);
    if (!pipe) return std::nullopt;
    double seconds = 0;
    unsigned long long bytes = 0;
    if (std::fscanf(pipe.get(), "%lf %llu", &seconds, &bytes) != 2) return std::nullopt;
    return Sample{seconds, bytes, 0};
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t mid = values.size() / 2;
    return values.size() % 2 == 1 ? values[mid] : (values[mid - 1] + values[mid]) / 2;
}

double Percentile(std::vector<double> values, double share) {
    std::sort(values.begin(), values.end());
    const auto rank = static_cast<std::size_t>(share * static_cast<double>(values.size() - 1) + 0.5);
    return values[std::min(rank, values.size() - 1)];
}

struct Rates {
    double median = 0;
    double best = 0;
};

Rates ToRates(const std::vector<Sample>& samples) {
    std::vector<double> rates;
    for (const Sample& sample : samples) {
        rates.push_back(static_cast<double>(sample.bytes) / sample.seconds / 1e6);
    }
    return {Median(rates), *std::max_element(rates.begin(), rates.end())};
}

// Engine and curl take turns, so that both meet the same machine; one
// unrecorded turn each warms the page cache and the server.
bool CompareDownloads(const Source& source, const Options& options, std::uint64_t size) {
    std::vector<Sample> engine;
    std::vector<Sample> curl;
    std::uint64_t chunks = 0;
    for (int run = 0; run <= options.runs; ++run) {
        const auto by_engine = EngineDownload(source);
        const auto by_curl = CurlDownload(source);
        if (!by_engine || !by_curl || by_engine->bytes != size || by_curl->bytes != size) {
            std::fprintf(stderr, "%s: a download failed or came short (engine %llu, curl %llu of %llu bytes)\n",
                         source.name.c_str(), by_engine ? static_cast<unsigned long long>(by_engine->bytes) : 0ULL,
                         by_curl ? static_cast<unsigned long long>(by_curl->bytes) : 0ULL,
                         static_cast<unsigned long long>(size));
            return false;
        }
        if (run == 0) continue;
        engine.push_back(*by_engine);
        curl.push_back(*by_curl);
        chunks = by_engine->chunks;
    }
    const Rates e = ToRates(engine);
    const Rates c = ToRates(curl);
    std::printf("  %-22s %6.0f (%5.0f) %6.0f (%5.0f) %8.2f %10llu\n", source.name.c_str(), e.median, e.best,
                c.median, c.best, e.median / c.median, static_cast<unsigned long long>(chunks));
    return true;
}

// Round trips of the guest LOGIN on one engine, as the login dialog makes it:
// from StartPost to WM_INET_DONE.
std::optional<std::vector<double>> LoginRoundTrips(const kx::test::DemoService& demo, bool secure,
                                                   int count) {
    kx::CurlInetConfig config;
    config.ca_file = demo.ca_file();
    config.connect_to = demo.ConnectTo();
    kx::CurlInetApi inet(config);
    const auto shared_window = std::make_shared<CountingWindow>();
    CountingWindow& window = *shared_window;
    kx::HttpRequestEngine engine(inet);
    engine.SetNotificationWindow(shared_window);
    if (!engine.OpenSession(kx::InternetAccess::Preconfigured)) return std::nullopt;
    const std::string url =
        std::string(secure ? "https://" : "http://") + std::string(kDemoHost) + std::string(kx::kCommandPath);
    const std::string form =
        kx::CommandBody("LOGIN").Add("USERNAME", "guest").Add("PASSWORD", "tansy").Text();
    std::vector<double> millis;
    for (int i = 0; i <= count; ++i) {
        window.Reset();
        const auto start = Clock::now();
        if (!engine.StartPost(url, form) || !window.WaitDone(std::chrono::seconds(30))) return std::nullopt;
        const auto end = Clock::now();
        if (engine.StatusCode() != 200 || engine.ResponseBody().rfind("ERRORCODE=0\r\n", 0) != 0) {
            std::fprintf(stderr, "LOGIN failed: error %u, status %u\n", engine.Error(), engine.StatusCode());
            return std::nullopt;
        }
        engine.WaitUntilIdle(std::chrono::seconds(5));
        if (i > 0) millis.push_back(std::chrono::duration<double, std::milli>(end - start).count());
    }
    return millis;
}

// The same LOGIN by the curl command line, one process and one connection
// each, timed by curl itself (so its process start does not count), trusting
// `ca_file` alone.
std::optional<std::vector<double>> CurlLogins(const kx::test::DemoService& demo, bool secure, int count,
                                              const std::string& ca_file) {
    std::string command = "curl -s -o /dev/null -w '%{http_code} %{time_total}'";
    for (const std::string& entry : demo.ConnectTo()) command += " --connect-to '" + entry + "'";
    if (secure) command += " --cacert '" + ca_file + "'";
    command += " -H 'content-type: application/x-www-form-urlencoded' --data-binary '" +
               kx::CommandBody("LOGIN").Add("USERNAME", "guest").Add("PASSWORD", "tansy").Text() + "' '" +
               (secure ? "https://" : "http://") + std::string(kDemoHost) + std::string(kx::kCommandPath) + "'";
    std::vector<double> millis;
    for (int i = 0; i <= count; ++i) {
        std::unique_ptr<std::FILE, int (*)(std::FILE*)> pipe(::popen(command.c_str(), "r"), ::pclose);
        if (!pipe) return std::nullopt;
        int status = 0;
        double seconds = 0;
        if (std::fscanf(pipe.get(), "%d %lf", &status, &seconds) != 2 || status != 200) {
            std::fprintf(stderr, "curl's LOGIN failed: status %d\n", status);
            return std::nullopt;
        }
        if (i > 0) millis.push_back(seconds * 1000);
    }
    return millis;
}

// What the engine trusts, as one file for curl: the system's bundle and the demo's CA.
std::optional<std::string> WriteEngineTrust(const kx::test::DemoService& demo) {
    kx::CurlInetConfig config;
    config.ca_file = demo.ca_file();
    const auto settings = kx::curl_inet::MakeSettings(config);
    const std::filesystem::path path =
        std::filesystem::temp_directory_path() / ("kx-bench-ca-" + std::to_string(::getpid()) + ".pem");
    std::ofstream out(path, std::ios::binary);
    out << settings->ca_blob;
    if (!out.flush()) return std::nullopt;
    return path.string();
}

}  // namespace

int main(int argc, char** argv) {
    const auto options = ParseOptions(argc, argv);
    if (!options) {
        std::fprintf(stderr,
                     "usage: kx_bench_transfer [--size-mib N] [--runs N] [--logins N]"
                     " [--no-demo-download]\n");
        return 2;
    }
    // Nobody watches the debugger output here; writing it to a terminal would
    // be measured instead of the transfer.
    kx::SetDebugOutputSink([](std::string_view) {});
    // sendfile has no MSG_NOSIGNAL: a client that leaves early must cost an
    // error, not the benchmark.
    std::signal(SIGPIPE, SIG_IGN);

    const kx::test::DemoService demo;
    if (!demo.running()) {
        std::fprintf(stderr, "the demo service did not start\n");
        return 1;
    }
    const std::uint64_t size = options->size_mib * 1024 * 1024;
    const std::filesystem::path file =
        std::filesystem::temp_directory_path() / ("kx-bench-" + std::to_string(::getpid()) + ".bin");
    if (!WritePatternFile(file.string(), size)) {
        std::fprintf(stderr, "cannot write %s\n", file.c_str());
        return 1;
    }
    bool ok = true;
    {
        const SendfileServer server(file.string());
        std::printf("Download of %llu MiB over loopback, HTTP, body to /dev/null: MB/s (10^6 bytes),\n"
                    "median (best) of %d runs after one warm-up; goal engine/curl >= 0.80\n",
                    static_cast<unsigned long long>(options->size_mib), options->runs);
        std::printf("  %-22s %14s %14s %8s %10s\n", "server", "engine", "curl", "ratio", "DATA msgs");
        const Source local{"sendfile (C++)", std::string(kLocalHost), server.port(), "/file.bin"};
        ok = CompareDownloads(local, *options, size);
        if (ok && options->demo_source) {
            ok = CompareDownloads({"demo service (Python)", std::string(kDemoHost), demo.http_port(),
                                   "/downloads/" + std::to_string(options->size_mib) + "m.bin"},
                                  *options, size);
        }
    }
    std::filesystem::remove(file);
    if (!ok) return 1;

    std::printf("\nLOGIN round trip to the demo service, StartPost to WM_INET_DONE,\n"
                "%d requests after one warm-up\n",
                options->logins);
    std::printf("  %-36s %12s %12s\n", "", "median ms", "p95 ms");
    const auto trust = WriteEngineTrust(demo);
    if (!trust) return 1;
    struct Row {
        const char* label;
        bool secure;
        bool by_engine;
        std::string ca_file;
    };
    const Row rows[] = {
        {"HTTPS engine (new TLS each)", true, true, ""},
        {"HTTPS curl, demo CA only", true, false, demo.ca_file()},
        {"HTTPS curl, system CAs + demo CA", true, false, *trust},
        {"HTTP engine", false, true, ""},
        {"HTTP curl", false, false, ""},
    };
    bool logins_ok = true;
    for (const Row& row : rows) {
        const auto millis = row.by_engine ? LoginRoundTrips(demo, row.secure, options->logins)
                                          : CurlLogins(demo, row.secure, options->logins, row.ca_file);
        if (!millis) {
            logins_ok = false;
            break;
        }
        std::printf("  %-36s %12.2f %12.2f\n", row.label, Median(*millis), Percentile(*millis, 0.95));
    }
    std::filesystem::remove(*trust);
    if (!logins_ok) return 1;
    return 0;
}
