#pragma once

// Sends one local file to a web host with an HTTP PUT, blocking the caller
// until the body has gone out. Failures are told only to the debugger output.

#include <string>

#include "platform/inet_api.h"

namespace kx {

// True when the whole body was sent, the request ended and the connection
// and session closed without a failure.
bool UploadFile(InetApi& inet, const std::string& host, const std::string& object_path,
                const std::string& local_file);

}  // namespace kx
