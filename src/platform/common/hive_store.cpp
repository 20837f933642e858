#include "platform/common/hive_store.h"

namespace kx {

std::string_view HiveName(Hive hive) {
    return hive == Hive::ClassesRoot ? "HKEY_CLASSES_ROOT" : "HKEY_LOCAL_MACHINE";
}

}  // namespace kx
