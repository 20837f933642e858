#pragma once

// The platform's parts as the core reaches them: one backend object per
// port, set up once by the entry function (or a test) and handed down.

#include "platform/clock.h"
#include "platform/dialog_host.h"
#include "platform/files.h"
#include "platform/inet_api.h"
#include "platform/processes.h"
#include "platform/registry.h"
#include "platform/sound.h"

namespace kx {

struct Ports {
    Registry* registry = nullptr;
    InetApi* inet = nullptr;
    WindowSystem* windows = nullptr;
    Clock* clock = nullptr;
    Processes* processes = nullptr;
    Files* files = nullptr;
    Sound* sound = nullptr;
};

}  // namespace kx
