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
//  - the tool ends every command with 0 or 1, whatever it was given.

#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "fuzz_input.h"
#include "platform/common/memory_registry.h"
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
    }
    return 0;
}
