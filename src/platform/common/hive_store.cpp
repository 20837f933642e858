#include "platform/common/hive_store.h"

namespace kx {

std::string_view HiveName(Hive hive) {
    switch (hive) {
    case Hive::ClassesRoot:
        return "HKEY_CLASSES_ROOT";
    case Hive::CurrentUser:
        return "HKEY_CURRENT_USER";
    case Hive::LocalMachine:
        break;
    }
    return "HKEY_LOCAL_MACHINE";
}

}  // namespace kx
