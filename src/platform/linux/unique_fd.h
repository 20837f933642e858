#pragma once

// Owns one file descriptor (see base/unique_any.h: closed once, never retried).
// Owns one file descriptor (see base/unique_any.h: closed once, never retried).
//
// Implements:
//  - UniqueFd, the owner of every descriptor of the Linux backend.

#include <unistd.h>

#include "base/unique_any.h"

namespace kx {

using UniqueFd = UniqueAny<int, &::close, -1>;

}  // namespace kx
