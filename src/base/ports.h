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
#include "platform/state_store.h"

namespace kx {

struct Ports {
    Registry* registry = nullptr;
    InetApi* inet = nullptr;
    WindowSystem* windows = nullptr;
    Clock* clock = nullptr;
    Processes* processes = nullptr;
    Files* files = nullptr;
    Sound* sound = nullptr;
    // Where a score waits durably for the service; without it a score lives
    // in memory only until the service has it.
    StateStore* states = nullptr;
};

}  // namespace kx
