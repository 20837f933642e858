#pragma once

// Lets failed comparisons of hives show them in their text form.

#include <ostream>

#include "platform/common/registry_text.h"

namespace kx {

inline void PrintTo(const RegistryTree& tree, std::ostream* os) {
    *os << '\n' << SerializeHiveText(tree, "tree");
}

}  // namespace kx
