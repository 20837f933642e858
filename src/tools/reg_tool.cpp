#include "tools/reg_tool.h"

#include <fstream>
#include <iostream>
#include <iterator>
#include <utility>

#include "base/ascii.h"
#include "platform/common/hive_store.h"
#include "platform/common/registry_text.h"
#include "platform/common/registry_tree.h"
#include "tools/reg_command_line.h"
#include "tools/reg_data.h"

namespace kx {
namespace {

constexpr std::string_view kUsage =
    "Usage:\n"
    "  kxreg add    KEY [/v Name | /ve] [/t Type] [/s Separator] [/d Data] [/f]\n"
    "  kxreg query  KEY [/v Name | /ve] [/s]\n"
    "  kxreg delete KEY [/v Name | /ve | /va] [/f]\n"
    "  kxreg export KEY File [/y]\n"
    "  kxreg import ROOT File\n"
    "\n"
    "KEY is ROOT[\\SubKey], ROOT one of HKLM, HKEY_LOCAL_MACHINE, HKCU, HKEY_CURRENT_USER,\n"
    "HKCR, HKEY_CLASSES_ROOT.\n"
    "Type is REG_SZ (default), REG_EXPAND_SZ, REG_MULTI_SZ, REG_DWORD, REG_QWORD,\n"
    "REG_BINARY or REG_NONE. Switches may also start with '-'.\n";

constexpr std::string_view kDone = "The operation completed successfully.\n";
constexpr std::string_view kIndent = "    ";

std::string ErrorText(long code) {
    switch (code) {
        case kErrorFileNotFound:
            return "The system was unable to find the specified registry key or value.";
        case kErrorAccessDenied: return "Access is denied.";
        case kErrorInvalidHandle: return "The handle is invalid.";
        case kErrorInvalidParameter: return "The parameter is incorrect.";
        case kErrorBadDatabase: return "The configuration registry database is corrupt.";
        case kErrorRegistryIoFailed: return "An I/O operation initiated by the registry failed unrecoverably.";
        case kErrorKeyDeleted:
            return "Illegal operation attempted on a registry key that has been marked for deletion.";
        default: return "The registry call failed with error " + std::to_string(code) + ".";
    }
}

class Tool {
public:
    Tool(Registry& registry, const RegToolStreams& streams)
        : registry_(registry), streams_(streams) {}

    int Run(const std::vector<std::string>& args) {
        RegCommand command;
        if (std::string problem = ParseRegCommand(args, &command); !problem.empty()) {
            streams_.err << "ERROR: Invalid syntax: " << problem << ".\n"
                         << "Type \"kxreg /?\" for usage.\n";
            return 1;
        }
        if (command.verb == RegVerb::Help) {
            streams_.out << kUsage;
            return 0;
        }
        const std::optional<RegKeyName> key = ParseRegKeyName(command.key);
        if (!key || (command.verb == RegVerb::Import && !key->sub_key.empty())) {
            return Error(command.verb == RegVerb::Import ? "Import needs a root key, HKLM, HKCU or HKCR."
                                                         : "Invalid key name.");
        }
        switch (command.verb) {
            case RegVerb::Add: return Add(command, *key);
            case RegVerb::Query: return Query(command, *key);
            case RegVerb::Delete: return Delete(command, *key);
            case RegVerb::Export: return Export(command, *key);
            case RegVerb::Import: return Import(command, *key);
            case RegVerb::Help: break;
        }
        return 1;
    }

private:
    int Error(std::string_view text) {
        streams_.err << "ERROR: " << text << '\n';
        return 1;
    }
    int Error(long code) { return Error(ErrorText(code)); }

    int Done() {
        streams_.out << kDone;
        return 0;
    }

    // Asks on `out` and reads the answer, as reg.exe does without /f.
    bool Confirm(const std::string& question) {
        streams_.out << question << " (Yes/No)? " << std::flush;
        std::string answer;
        if (!std::getline(streams_.in, answer)) return false;
        answer = ToLowerAscii(answer);
        return answer == "y" || answer == "yes";
    }

    int Cancelled() {
        streams_.err << "The operation was cancelled.\n";
        return 1;
    }

    static std::string ValueLabel(const std::string& name) {
        return name.empty() ? "(Default)" : name;
    }

    static std::string FullName(const RegKeyName& key) {
        return key.sub_key.empty() ? key.root_name : key.root_name + "\\" + key.sub_key;
    }

    int Add(const RegCommand& command, const RegKeyName& key) {
        // Everything is checked before the key is made, so a refused add changes nothing.
        const std::optional<RegType> type = ParseRegTypeName(command.type.value_or("REG_SZ"));
        if (!type) return Error("Invalid type '" + *command.type + "'.");
        const std::optional<std::string> data =
            EncodeRegData(*type, command.data.value_or(""), command.separator.value_or("\\0"));
        if (!data) return Error("Invalid data for " + RegTypeName(*type) + ".");
        if (data->size() > kMaxValueBytes) return Error("The data is too large.");
        const std::string name = command.selection == ValueSelection::Named ? command.value_name : "";
        if (!IsValidValueName(name)) return Error(kErrorInvalidParameter);

        UniqueRegKey handle(registry_);
        long status = registry_.CreateKey(key.root, key.sub_key, RegAccess::AllAccess, handle.put());
        if (status != kErrorSuccess) return Error(status);
        if (command.selection == ValueSelection::Key) return Done();

        std::uint32_t size = 0;
        status = registry_.QueryValue(handle.get(), name, nullptr, nullptr, &size);
        if (status == kErrorSuccess && !command.force &&
            !Confirm("Value " + ValueLabel(name) + " exists, overwrite")) {
            return Cancelled();
        }
        status = SetRegValue(handle.get(), RegValue{name, *type, *data});
        return status == kErrorSuccess ? Done() : Error(status);
    }

    void PrintValue(const RegValue& value) {
        streams_.out << kIndent << ValueLabel(value.name) << kIndent << RegTypeName(value.type)
                     << kIndent << FormatRegData(value.type, value.data) << '\n';
    }

    long SetRegValue(RegKeyHandle key, const RegValue& value) {
        return registry_.SetValue(key, value.name, value.type,
                                  reinterpret_cast<const std::uint8_t*>(value.data.data()),
                                  static_cast<std::uint32_t>(value.data.size()));
    }

    // Prints the key's values (only `only` when given) and, when recursive, its
    // subkeys' in turn; counts the values shown.
    long QueryKey(RegKeyHandle key, const std::string& full_name, const RegCommand& command,
                  std::size_t depth, std::size_t* shown) {
        std::vector<RegValue> values;
        for (std::uint32_t index = 0;; ++index) {
            RegValue value;
            const long status = registry_.EnumValue(key, index, &value.name, &value.type, &value.data);
            if (status == kErrorNoMoreItems) break;
            if (status != kErrorSuccess) return status;
            const bool wanted = command.selection == ValueSelection::Key ||
                                (command.selection == ValueSelection::Default && value.name.empty()) ||
                                (command.selection == ValueSelection::Named &&
                                 NamesEqual(value.name, command.value_name));
            if (wanted) values.push_back(std::move(value));
        }
        if (!values.empty() || command.selection == ValueSelection::Key) {
            streams_.out << '\n' << full_name << '\n';
            for (const RegValue& value : values) PrintValue(value);
            *shown += values.size();
        }
        std::vector<std::string> subkeys;
        const long status = ListSubkeys(key, &subkeys);
        if (status != kErrorSuccess) return status;
        if (!command.recursive) {
            if (command.selection == ValueSelection::Key) {
                if (!subkeys.empty()) streams_.out << '\n';
                for (const std::string& name : subkeys) streams_.out << full_name << '\\' << name << '\n';
            }
            return kErrorSuccess;
        }
        if (depth >= kMaxKeyDepth) return kErrorSuccess;
        for (const std::string& name : subkeys) {
            UniqueRegKey child(registry_);
            const long opened = registry_.OpenKey(key, name, RegAccess::Read, child.put());
            if (opened != kErrorSuccess) return opened;
            const long queried = QueryKey(child.get(), full_name + '\\' + name, command, depth + 1, shown);
            if (queried != kErrorSuccess) return queried;
        }
        return kErrorSuccess;
    }

    long ListSubkeys(RegKeyHandle key, std::vector<std::string>* names) {
        for (std::uint32_t index = 0;; ++index) {
            char name[kMaxRegNameLength + 1];
            std::uint32_t chars = sizeof name;
            const long status = registry_.EnumKey(key, index, name, &chars);
            if (status == kErrorNoMoreItems) return kErrorSuccess;
            if (status != kErrorSuccess) return status;
            names->emplace_back(name, chars);
        }
    }

    int Query(const RegCommand& command, const RegKeyName& key) {
        UniqueRegKey handle(registry_);
        long status = registry_.OpenKey(key.root, key.sub_key, RegAccess::Read, handle.put());
        if (status != kErrorSuccess) return Error(status);
        std::size_t shown = 0;
        status = QueryKey(handle.get(), FullName(key), command, 0, &shown);
        if (status != kErrorSuccess) return Error(status);
        if (command.selection != ValueSelection::Key && shown == 0) return Error(kErrorFileNotFound);
        if (command.recursive) streams_.out << "\nEnd of search: " << shown << " match(es) found.\n";
        return 0;
    }

    int Delete(const RegCommand& command, const RegKeyName& key) {
        if (command.selection == ValueSelection::Key) {
            if (key.sub_key.empty()) return Error("A root key cannot be deleted.");
            if (!command.force && !Confirm("Permanently delete the registry key " + FullName(key))) {
                return Cancelled();
            }
            const long status = registry_.DeleteKeyTree(key.root, key.sub_key);
            return status == kErrorSuccess ? Done() : Error(status);
        }
        UniqueRegKey handle(registry_);
        long status = registry_.OpenKey(key.root, key.sub_key, RegAccess::AllAccess, handle.put());
        if (status != kErrorSuccess) return Error(status);
        std::vector<std::string> names;
        if (command.selection == ValueSelection::All) {
            for (std::uint32_t index = 0;; ++index) {
                std::string name;
                status = registry_.EnumValue(handle.get(), index, &name, nullptr, nullptr);
                if (status == kErrorNoMoreItems) break;
                if (status != kErrorSuccess) return Error(status);
                names.push_back(std::move(name));
            }
        } else {
            names.push_back(command.selection == ValueSelection::Named ? command.value_name : "");
        }
        const std::string question = command.selection == ValueSelection::All
                                         ? "Delete all values under the registry key " + FullName(key)
                                         : "Delete the registry value " + ValueLabel(names.front());
        if (!command.force && !Confirm(question)) return Cancelled();
        for (const std::string& name : names) {
            status = registry_.DeleteValue(handle.get(), name);
            if (status != kErrorSuccess) return Error(status);
        }
        return Done();
    }

    // Copies the open key's values and subkeys into `node`.
    long ReadSubtree(RegKeyHandle key, RegKeyNode* node, std::size_t depth) {
        for (std::uint32_t index = 0;; ++index) {
            RegValue value;
            const long status = registry_.EnumValue(key, index, &value.name, &value.type, &value.data);
            if (status == kErrorNoMoreItems) break;
            if (status != kErrorSuccess) return status;
            node->values.push_back(std::move(value));
        }
        std::vector<std::string> subkeys;
        long status = ListSubkeys(key, &subkeys);
        if (status != kErrorSuccess || depth >= kMaxKeyDepth) return status;
        for (const std::string& name : subkeys) {
            UniqueRegKey child(registry_);
            status = registry_.OpenKey(key, name, RegAccess::Read, child.put());
            if (status != kErrorSuccess) return status;
            status = ReadSubtree(child.get(), &node->AddSubkey(name), depth + 1);
            if (status != kErrorSuccess) return status;
        }
        return kErrorSuccess;
    }

    // The key's path with each name in the case it is stored with.
    long StoredPath(const RegKeyName& key, KeyPath* stored) {
        KeyPath typed;
        ParseKeyPath(key.sub_key, &typed);
        RegKeyHandle parent = key.root;
        UniqueRegKey current(registry_);
        for (const std::string& part : typed) {
            std::vector<std::string> names;
            const long status = ListSubkeys(parent, &names);
            if (status != kErrorSuccess) return status;
            std::string found = part;
            for (const std::string& name : names) {
                if (NamesEqual(name, part)) found = name;
            }
            UniqueRegKey next(registry_);
            const long opened = registry_.OpenKey(parent, found, RegAccess::Read, next.put());
            if (opened != kErrorSuccess) return opened;
            stored->push_back(std::move(found));
            current = std::move(next);
            parent = current.get();
        }
        return kErrorSuccess;
    }

    int Export(const RegCommand& command, const RegKeyName& key) {
        UniqueRegKey handle(registry_);
        long status = registry_.OpenKey(key.root, key.sub_key, RegAccess::Read, handle.put());
        if (status != kErrorSuccess) return Error(status);
        KeyPath path;
        status = StoredPath(key, &path);
        if (status != kErrorSuccess) return Error(status);
        RegistryTree tree;
        status = ReadSubtree(handle.get(), &tree.Create(path), 0);
        if (status != kErrorSuccess) return Error(status);

        if (!command.overwrite_file && std::ifstream(command.file).good() &&
            !Confirm("File " + command.file + " already exists. Overwrite")) {
            return Cancelled();
        }
        std::ofstream file(command.file, std::ios::binary | std::ios::trunc);
        file << SerializeHiveText(tree, key.root_name);
        file.close();
        if (!file) return Error("Cannot write the file " + command.file + ".");
        return Done();
    }

    long WriteSubtree(RegKeyHandle parent, const RegKeyNode& node) {
        for (const RegKeyNode& child : node.subkeys) {
            UniqueRegKey key(registry_);
            long status = registry_.CreateKey(parent, child.name, RegAccess::AllAccess, key.put());
            if (status != kErrorSuccess) return status;
            for (const RegValue& value : child.values) {
                status = SetRegValue(key.get(), value);
                if (status != kErrorSuccess) return status;
            }
            status = WriteSubtree(key.get(), child);
            if (status != kErrorSuccess) return status;
        }
        return kErrorSuccess;
    }

    int Import(const RegCommand& command, const RegKeyName& key) {
        std::ifstream file(command.file, std::ios::binary);
        if (!file) return Error("Cannot read the file " + command.file + ".");
        const std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
        const HiveTextParse parsed = ParseHiveText(text);
        if (parsed.error) {
            return Error(command.file + ":" + std::to_string(parsed.error->line) + ": " +
                         parsed.error->message);
        }
        for (const RegValue& value : parsed.tree.root().values) {
            const long status = SetRegValue(key.root, value);
            if (status != kErrorSuccess) return Error(status);
        }
        const long status = WriteSubtree(key.root, parsed.tree.root());
        return status == kErrorSuccess ? Done() : Error(status);
    }

    Registry& registry_;
    const RegToolStreams& streams_;
};

}  // namespace

int RunRegTool(Registry& registry, const std::vector<std::string>& args,
               const RegToolStreams& streams) {
    return Tool(registry, streams).Run(args);
}

}  // namespace kx
