#pragma once

// The command line of kxreg, read the way reg.exe reads its own: a verb, a
// key, then switches introduced by '/' or '-' in any letter case.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/registry.h"

namespace kx {

enum class RegVerb { Help, Add, Query, Delete, Export, Import };

// Which values a command is about: none (the key itself), one named value
// (/v), the default value (/ve) or all of the key's values (/va).
enum class ValueSelection { Key, Named, Default, All };

struct RegCommand {
    RegVerb verb = RegVerb::Help;
    std::string key;   // as typed, e.g. "HKLM\Software\Kestrix Inc."
    std::string file;  // export and import
    ValueSelection selection = ValueSelection::Key;
    std::string value_name;
    std::optional<std::string> type;       // /t
    std::optional<std::string> data;       // /d
    std::optional<std::string> separator;  // /s of add
    bool force = false;          // /f: no confirmation
    bool recursive = false;      // /s of query
    bool overwrite_file = false;  // /y of export
};

// Returns the reason the line is refused, or an empty string.
std::string ParseRegCommand(const std::vector<std::string>& args, RegCommand* command);

// A key name split into its predefined root and the path below it.
struct RegKeyName {
    RegKeyHandle root = kNullKey;
    std::string root_name;  // the long form, e.g. "HKEY_LOCAL_MACHINE"
    std::string sub_key;    // may be empty
};

// Accepts HKLM, HKEY_LOCAL_MACHINE, HKCR and HKEY_CLASSES_ROOT in any case.
std::optional<RegKeyName> ParseRegKeyName(std::string_view text);

}  // namespace kx
