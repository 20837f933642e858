#pragma once

// Owns one file descriptor (see base/unique_any.h: closed once, never retried).

#include <unistd.h>

#include "base/unique_any.h"

namespace kx {

using UniqueFd = UniqueAny<int, &::close, -1>;

}  // namespace kx
