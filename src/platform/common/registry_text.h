#pragma once

// The text form of one hive: readable and editable by hand, yet exact for
// every value's type and bytes. Example:
//
//   KestrixRegistry 1
//   ; HKEY_LOCAL_MACHINE
//
//   [Software\Kestrix Inc.\General\Player]
//   "Username"=sz(50):"abc"
//   "Flags"=dword:00000001
//   "Blob"=hex:00,ff
//   @=hex(0):
//
// sz(N), expand_sz(N) and multi_sz(N) hold the quoted text's bytes followed by
// zero bytes up to N, so a fixed-size string stays readable; quoted text takes
// the escapes \\ \" \n \r \t \0 and \xNN. dword and qword are little-endian
// numbers of exactly 4 and 8 bytes; hex(T) carries any other type T (in hex),
// plain hex being REG_BINARY. @ is the default value. In key headers every
// byte outside printable ASCII and the characters ']' and '%' are written %XX.
// Lines starting with ';' are comments. Every key has its header, so empty
// keys are kept.
//
// Implements:
//  - ParseHiveText, which reports the first bad line by number and keeps
//    nothing of a text it cannot parse;
//  - SerializeHiveText, whose output parses back to the same tree.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "platform/common/registry_tree.h"

namespace kx {

struct HiveTextError {
    std::size_t line = 0;  // 1-based
    std::string message;
};

struct HiveTextParse {
    RegistryTree tree;
    std::optional<HiveTextError> error;  // set when the text was refused; tree is then empty
};

HiveTextParse ParseHiveText(std::string_view text);

// The comment line names the hive, e.g. "HKEY_LOCAL_MACHINE".
std::string SerializeHiveText(const RegistryTree& tree, std::string_view hive_name);

}  // namespace kx
