// The result codes' names, the same on both systems.

#include <array>
#include <cstdint>
#include <cstdio>
#include <string>

#include "kestrix/game_services.h"

namespace kestrix {

std::string ResultName(std::int32_t hr) {
    struct Named {
        std::int32_t code;
        const char* name;
    };
    static constexpr std::array<Named, 20> kNames{{
        {S_OK, "S_OK"},
        {S_FALSE, "S_FALSE"},
        {KX_S_DOWNLOADRUNNING, "KX_S_DOWNLOADRUNNING"},
        {E_NOTIMPL, "E_NOTIMPL"},
        {E_POINTER, "E_POINTER"},
        {E_FAIL, "E_FAIL"},
        {E_OUTOFMEMORY, "E_OUTOFMEMORY"},
        {E_INVALIDARG, "E_INVALIDARG"},
        {KX_E_NOTINITIALIZED, "KX_E_NOTINITIALIZED"},
        {KX_E_REFUSED, "KX_E_REFUSED"},
        {KX_E_BUFFERTOOSMALL, "KX_E_BUFFERTOOSMALL"},
        {KX_E_NOSUCHITEM, "KX_E_NOSUCHITEM"},
        {KX_E_DOWNLOADBUSY, "KX_E_DOWNLOADBUSY"},
        {RPC_E_DISCONNECTED, "RPC_E_DISCONNECTED"},
        {RPC_E_TIMEOUT, "RPC_E_TIMEOUT"},
        {CO_E_SERVER_EXEC_FAILURE, "CO_E_SERVER_EXEC_FAILURE"},
        {KX_E_CONSOLENOTREGISTERED, "KX_E_CONSOLENOTREGISTERED"},
        // What COM answers on Windows when the proxy/stub is not registered,
        // or the console's process has ended, or cut the object off.
        {MakeResult(0x80004002), "E_NOINTERFACE"},
        {MakeResult(0x800706BA), "RPC_S_SERVER_UNAVAILABLE"},
        {MakeResult(0x800706B5), "RPC_S_UNKNOWN_IF"},
    }};
    for (const Named& named : kNames) {
        if (named.code == hr) return named.name;
    }
    std::array<char, 16> hex{};
    std::snprintf(hex.data(), hex.size(), "0x%08X", static_cast<unsigned>(hr));
    return hex.data();
}

}  // namespace kestrix
