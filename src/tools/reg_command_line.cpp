#include "tools/reg_command_line.h"

#include "base/ascii.h"
#include "platform/common/registry_tree.h"

namespace kx {
namespace {

bool IsSwitch(std::string_view arg) {
    return arg.size() >= 2 && (arg[0] == '/' || arg[0] == '-');
}

// The switches each verb accepts; a trailing ':' marks one that takes an argument.
std::vector<std::string_view> AllowedSwitches(RegVerb verb) {
    switch (verb) {
        case RegVerb::Add: return {"v:", "ve", "t:", "s:", "d:", "f"};
        case RegVerb::Query: return {"v:", "ve", "s"};
        case RegVerb::Delete: return {"v:", "ve", "va", "f"};
        case RegVerb::Export: return {"y"};
        default: return {};
    }
}

bool SelectValues(RegCommand* command, ValueSelection selection) {
    if (command->selection != ValueSelection::Key) return false;
    command->selection = selection;
    return true;
}

std::string ApplySwitch(RegCommand* command, std::string_view name, const std::string* argument) {
    const std::string duplicate = "the switch /" + std::string(name) + " is given twice";
    const std::string exclusive = "only one of /v, /ve and /va may be given";
    if (name == "v") {
        if (!SelectValues(command, ValueSelection::Named)) return exclusive;
        command->value_name = *argument;
    } else if (name == "ve") {
        if (!SelectValues(command, ValueSelection::Default)) return exclusive;
    } else if (name == "va") {
        if (!SelectValues(command, ValueSelection::All)) return exclusive;
    } else if (name == "t") {
        if (command->type) return duplicate;
        command->type = *argument;
    } else if (name == "d") {
        if (command->data) return duplicate;
        command->data = *argument;
    } else if (name == "s" && argument != nullptr) {
        if (command->separator) return duplicate;
        command->separator = *argument;
    } else if (name == "s") {
        if (command->recursive) return duplicate;
        command->recursive = true;
    } else if (name == "f") {
        if (command->force) return duplicate;
        command->force = true;
    } else if (name == "y") {
        if (command->overwrite_file) return duplicate;
        command->overwrite_file = true;
    }
    return {};
}

}  // namespace

std::string ParseRegCommand(const std::vector<std::string>& args, RegCommand* command) {
    *command = RegCommand{};
    if (args.empty()) return "no command given";
    const std::string verb = ToLowerAscii(args[0]);
    if (verb == "/?" || verb == "-?" || verb == "-h" || verb == "--help" || verb == "help") {
        command->verb = RegVerb::Help;
        return args.size() == 1 ? std::string() : "unexpected arguments after " + args[0];
    }
    std::size_t positional = 1;
    if (verb == "add") {
        command->verb = RegVerb::Add;
    } else if (verb == "query") {
        command->verb = RegVerb::Query;
    } else if (verb == "delete") {
        command->verb = RegVerb::Delete;
    } else if (verb == "export") {
        command->verb = RegVerb::Export;
        positional = 2;
    } else if (verb == "import") {
        command->verb = RegVerb::Import;
        positional = 2;
    } else {
        return "unknown command '" + args[0] + "'";
    }

    std::vector<std::string> operands;
    const std::vector<std::string_view> allowed = AllowedSwitches(command->verb);
    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (!IsSwitch(arg) || operands.size() < positional) {
            if (operands.size() == positional) return "unexpected argument '" + arg + "'";
            operands.push_back(arg);
            continue;
        }
        // "--v" is taken like "-v" so that both dash styles work.
        std::string name = ToLowerAscii(std::string_view(arg).substr(arg[0] == '-' && arg[1] == '-' ? 2 : 1));
        const std::string* argument = nullptr;
        bool known = false;
        for (const std::string_view candidate : allowed) {
            if (candidate == name) {
                known = true;
            } else if (candidate.size() == name.size() + 1 && candidate.back() == ':' &&
                       candidate.substr(0, name.size()) == name) {
                if (i + 1 >= args.size()) return "the switch " + arg + " needs an argument";
                argument = &args[++i];
                known = true;
            }
        }
        if (!known) return "unknown switch '" + arg + "'";
        if (std::string problem = ApplySwitch(command, name, argument); !problem.empty()) return problem;
    }
    if (operands.size() < positional) {
        return command->verb == RegVerb::Import ? "expected a root key and a file name"
               : positional == 2              ? "expected a key and a file name"
                                              : "expected a key name";
    }
    command->key = operands[0];
    if (positional == 2) command->file = operands[1];
    if (command->verb == RegVerb::Add && command->selection == ValueSelection::Key &&
        (command->type || command->data || command->separator)) {
        return "/t, /d and /s need /v or /ve";
    }
    return {};
}

std::optional<RegKeyName> ParseRegKeyName(std::string_view text) {
    const std::size_t cut = text.find('\\');
    const std::string root = ToLowerAscii(text.substr(0, cut));
    RegKeyName name;
    if (root == "hklm" || root == "hkey_local_machine") {
        name.root = kHKeyLocalMachine;
        name.root_name = "HKEY_LOCAL_MACHINE";
    } else if (root == "hkcu" || root == "hkey_current_user") {
        name.root = kHKeyCurrentUser;
        name.root_name = "HKEY_CURRENT_USER";
    } else if (root == "hkcr" || root == "hkey_classes_root") {
        name.root = kHKeyClassesRoot;
        name.root_name = "HKEY_CLASSES_ROOT";
    } else {
        return std::nullopt;
    }
    if (cut != std::string_view::npos) name.sub_key = std::string(text.substr(cut + 1));
    KeyPath path;
    if (ParseKeyPath(name.sub_key, &path) != kErrorSuccess) return std::nullopt;
    name.sub_key = JoinKeyPath(path);
    return name;
}

}  // namespace kx
