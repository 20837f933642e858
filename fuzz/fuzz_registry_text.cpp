// The registry's text form: a hive file as found on disk, however damaged,
// and every tree the registry can hold written out and read back.
//
// Input: read as a hive text; then, split at NUL into groups of four (key
// path, value name, type number, data), built into a tree.
//
// Implements:
//  - a refused text reports a line and keeps nothing;
//  - an accepted text writes out to a text that reads back to the same tree
//    and writes out the same again;
//  - any tree of valid names and values survives writing and reading.

#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz_input.h"
#include "platform/common/registry_text.h"
#include "platform/common/registry_tree.h"

namespace {

constexpr std::string_view kHive = "HKEY_LOCAL_MACHINE";

void CheckRoundTrip(const kx::RegistryTree& tree) {
    const std::string text = kx::SerializeHiveText(tree, kHive);
    const kx::HiveTextParse again = kx::ParseHiveText(text);
    if (again.error) {
        std::fprintf(stderr, "written text refused at line %zu: %s\n", again.error->line,
                     again.error->message.c_str());
    }
    KX_FUZZ_CHECK(!again.error);
    KX_FUZZ_CHECK(again.tree == tree);
    KX_FUZZ_CHECK(kx::SerializeHiveText(again.tree, kHive) == text);
}

kx::RegType TypeOf(std::uint64_t number) {
    switch (number % 8) {
        case 0: return kx::RegType::Sz;
        case 1: return kx::RegType::ExpandSz;
        case 2: return kx::RegType::Binary;
        case 3: return kx::RegType::Dword;
        case 4: return kx::RegType::MultiSz;
        case 5: return kx::RegType::Qword;
        case 6: return kx::RegType::None;
        default: return static_cast<kx::RegType>(number / 8);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text = kx::fuzz::AsText(data, size);

    const kx::HiveTextParse parsed = kx::ParseHiveText(text);
    if (parsed.error) {
        KX_FUZZ_CHECK(parsed.error->line >= 1);
        KX_FUZZ_CHECK(parsed.tree == kx::RegistryTree());
    } else {
        CheckRoundTrip(parsed.tree);
    }

    kx::RegistryTree built;
    const auto fields = kx::fuzz::Fields(text, '\0');
    for (std::size_t i = 0; i + 3 < fields.size(); i += 4) {
        kx::KeyPath path;
        if (kx::ParseKeyPath(fields[i], &path) != 0 || path.size() > kx::kMaxKeyDepth) continue;
        kx::RegKeyNode& key = built.Create(path);
        const std::string_view name = fields[i + 1];
        if (!kx::IsValidValueName(name)) continue;
        const kx::RegType type = TypeOf(kx::fuzz::FuzzNumber(fields[i + 2], 0xFFFFFFFFull * 8));
        std::string bytes(fields[i + 3]);
        // Numbers are exactly their width; other widths are carried under hex(T).
        key.SetValue(name, type, std::move(bytes));
    }
    CheckRoundTrip(built);
    return 0;
}
