#include "net/upload.h"

#include <array>
#include <cstddef>
#include <string_view>

#include "net/unique_file.h"
#include "platform/debug_output.h"

namespace kx {

namespace {

constexpr std::string_view kAgent = "HttpSendRequestEx";
constexpr std::size_t kChunkSize = 1024;

void TraceFailure(std::string_view text) {
    OutputDebugText(text);
    OutputDebugText("\n");
}

// Opens the PUT request, sends the file through it and ends it; stops at the
// first failure. The request handle is closed on the way out.
bool SendFile(InetApi& inet, HInternet connection, const std::string& object_path,
              const std::string& local_file) {
    const UniqueInternetHandle request(inet,
                                       inet.HttpOpenRequest(connection, "PUT", object_path, 0, 0));
    if (!request) {
        TraceFailure("Failed HttpOpenRequest");
        return false;
    }

    UniqueFile file = UniqueFile::Open(local_file, FileAccess::OpenForReading);
    // A file whose size cannot be told cannot have it announced either.
    const auto size = file.Size();
    if (!file.IsOpen() || !size) {
        TraceFailure("Failed CreateFile");
        return false;
    }

    // Only the low 32 bits of the size are announced.
    if (!inet.HttpSendRequestEx(request.get(), static_cast<std::uint32_t>(*size))) {
        TraceFailure("Failed HttpSendRequestEx");
        return false;
    }

    // A read or write failure still ends the request; the server may then get
    // less than was announced.
    bool sent = true;
    std::array<char, kChunkSize> chunk{};
    for (;;) {
        std::size_t count = 0;
        if (!file.Read(chunk, &count)) {
            sent = false;
            break;
        }
        std::uint32_t written = 0;
        if (!inet.InternetWriteFile(request.get(), chunk.data(), static_cast<std::uint32_t>(count),
                                    &written)) {
            sent = false;
            break;
        }
        if (count < kChunkSize) break;
    }

    file.Close();
    if (!inet.HttpEndRequest(request.get())) {
        TraceFailure("Failed HttpEndRequest");
        return false;
    }
    return sent;
}

}  // namespace

bool UploadFile(InetApi& inet, const std::string& host, const std::string& object_path,
                const std::string& local_file) {
    UniqueInternetHandle session(inet, inet.InternetOpen(kAgent, kInternetOpenTypePreconfig, 0));
    if (!session) {
        TraceFailure("No Internet Session");
        return false;
    }
    UniqueInternetHandle connection(
        inet, inet.InternetConnect(session.get(), host, kInternetDefaultHttpPort, "", "",
                                   kInternetServiceHttp, 0, 0));
    if (!connection) {
        TraceFailure("No Internet Session");
        return false;
    }

    const bool sent = SendFile(inet, connection.get(), object_path, local_file);

    if (!connection.reset()) {
        TraceFailure("Failed to close Handle (hConnect)");
        return false;
    }
    if (!session.reset()) {
        TraceFailure("Failed to close Handle (hSession)");
        return false;
    }
    return sent;
}

}  // namespace kx
