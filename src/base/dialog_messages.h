#pragma once

// The messages a request engine posts to the dialog waiting for it. Every
// dialog routes them to its handlers, so they live below both.

#include <cstdint>

namespace kx {

// wParam: bytes in this chunk (1 to 512); lParam: the reply's Content-Length, 0 if none.
inline constexpr std::uint32_t WM_INET_DATA = 0x0401;
// Once per request that ends for any reason but cancel; wParam and lParam 0.
inline constexpr std::uint32_t WM_INET_DONE = 0x0402;
// wParam: the status code of each status notification; lParam 0.
inline constexpr std::uint32_t WM_INET_STATUS = 0x0403;

}  // namespace kx
