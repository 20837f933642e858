// The registry tool's command line and the commands it runs, over an
// in-memory registry.
//
// Input: command lines separated by LF, each's arguments separated by NUL.
// An argument "FILE" stands for a scratch file, and export and import run
// only on it, so that no input reaches a file of its own choosing.
//
// Implements:
//  - any line is parsed or refused with a reason, never half taken;
//  - key names read back to the same key name;
//  - value data given with /d is encoded or refused, and shown again;
//  - the tool ends every command with 0 or 1, whatever it was given;
//  - a value add stored holds exactly the bytes its switches encode, and an
//    exported file reads back to the key as stored.

#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "fuzz_input.h"
#include "platform/common/memory_registry.h"
#include "platform/common/registry_text.h"
#include "tools/reg_command_line.h"
#include "tools/reg_data.h"
#include "tools/reg_tool.h"

namespace {

namespace fs = std::filesystem;

const fs::path& ScratchFile() {
    static const fs::path file = [] {
        std::string pattern = (fs::temp_directory_path() / "kx_fuzz_reg_XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) std::abort();
        static const fs::path dir = pattern;
        std::atexit([] {
            std::error_code ignored;
            fs::remove_all(dir, ignored);
        });
        return dir / "hive.txt";
    }();
    return file;
}

void CheckKeyName(std::string_view text) {
    const auto name = kx::ParseRegKeyName(text);
    if (!name) return;
    KX_FUZZ_CHECK(name->root != kx::kNullKey);
    const std::string again_text = name->root_name + (name->sub_key.empty() ? "" : "\\" + name->sub_key);
    const auto again = kx::ParseRegKeyName(again_text);
    KX_FUZZ_CHECK(again && again->root == name->root && again->sub_key == name->sub_key);
}

void CheckData(const kx::RegCommand& command) {
    if (!command.type) return;
    const auto type = kx::ParseRegTypeName(*command.type);
    if (!type) return;
    KX_FUZZ_CHECK(kx::ParseRegTypeName(kx::RegTypeName(*type)) == type);
    const auto bytes = kx::EncodeRegData(*type, command.data.value_or(""),
                                         command.separator.value_or("\\0"));
    if (!bytes) return;
    const std::string shown = kx::FormatRegData(*type, *bytes);
    // What a query shows of a number, a binary value or a text is what /d takes back.
    switch (*type) {
        case kx::RegType::Sz:
        case kx::RegType::ExpandSz:
            KX_FUZZ_CHECK(kx::EncodeRegData(*type, shown, "\\0") ==
                          shown + std::string(1, '\0'));
            KX_FUZZ_CHECK(shown == command.data.value_or("").substr(0, shown.size()));
            break;
        case kx::RegType::Dword:
        case kx::RegType::Qword:
        case kx::RegType::Binary:
        case kx::RegType::None:
            KX_FUZZ_CHECK(kx::EncodeRegData(*type, shown, "\\0") == bytes);
            break;
        default:
            break;
    }
}

kx::Hive HiveOf(const kx::RegKeyName& name) {
    if (name.root == kx::kHKeyClassesRoot) return kx::Hive::ClassesRoot;
    if (name.root == kx::kHKeyCurrentUser) return kx::Hive::CurrentUser;
    return kx::Hive::LocalMachine;
}

// A value add stored: exactly the bytes /t, /d and /s encode.
void CheckAdded(kx::MemoryRegistry& registry, const kx::RegCommand& command) {
    if (command.selection == kx::ValueSelection::Key) return;
    const auto key = kx::ParseRegKeyName(command.key);
    KX_FUZZ_CHECK(key.has_value());
    kx::KeyPath path;
    KX_FUZZ_CHECK(kx::ParseKeyPath(key->sub_key, &path) == kx::kErrorSuccess);
    const kx::RegKeyNode* node = registry.tree(HiveOf(*key)).Find(path);
    KX_FUZZ_CHECK(node != nullptr);
    const std::string name = command.selection == kx::ValueSelection::Named ? command.value_name : "";
    const kx::RegValue* value = node->FindValue(name);
    KX_FUZZ_CHECK(value != nullptr);
    const auto type = kx::ParseRegTypeName(command.type.value_or("REG_SZ"));
    KX_FUZZ_CHECK(type == value->type);
    KX_FUZZ_CHECK(kx::EncodeRegData(*type, command.data.value_or(""),
                                    command.separator.value_or("\\0")) == value->data);
}

// An exported file reads back to the key as stored, path and all.
void CheckExported(kx::MemoryRegistry& registry, const kx::RegCommand& command) {
    std::ifstream file(command.file, std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    const kx::HiveTextParse parsed = kx::ParseHiveText(text);
    KX_FUZZ_CHECK(!parsed.error);
    const auto key = kx::ParseRegKeyName(command.key);
    KX_FUZZ_CHECK(key.has_value());
    kx::KeyPath path;
    kx::ParseKeyPath(key->sub_key, &path);
    const kx::RegKeyNode* stored = registry.tree(HiveOf(*key)).Find(path);
    const kx::RegKeyNode* exported = parsed.tree.Find(path);
    KX_FUZZ_CHECK(stored != nullptr && exported != nullptr);
    KX_FUZZ_CHECK(stored->values == exported->values && stored->subkeys == exported->subkeys);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string scratch = ScratchFile().string();
    std::error_code ignored;
    fs::remove(scratch, ignored);

    kx::MemoryRegistry registry;
    for (const std::string_view line : kx::fuzz::Fields(kx::fuzz::AsText(data, size), '\n')) {
        std::vector<std::string> args;
        for (const std::string_view arg : kx::fuzz::Fields(line, '\0')) {
            args.emplace_back(arg == "FILE" ? std::string_view(scratch) : arg);
        }
        kx::RegCommand command;
        const std::string problem = kx::ParseRegCommand(args, &command);
        if (!problem.empty()) {
            KX_FUZZ_CHECK(problem.find_first_not_of(' ') != std::string::npos);
            continue;
        }
        CheckKeyName(command.key);
        CheckData(command);
        const bool touches_file =
            command.verb == kx::RegVerb::Export || command.verb == kx::RegVerb::Import;
        if (touches_file && command.file != scratch) continue;

        std::istringstream in("y\nn\n");
        std::ostringstream out;
        std::ostringstream err;
        const int code = kx::RunRegTool(registry, args, kx::RegToolStreams{in, out, err});
        KX_FUZZ_CHECK(code == 0 || code == 1);
        if (code != 0) continue;
        if (command.verb == kx::RegVerb::Add) CheckAdded(registry, command);
        if (command.verb == kx::RegVerb::Export) CheckExported(registry, command);
    }
    return 0;
}
