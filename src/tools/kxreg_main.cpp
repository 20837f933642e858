// kxreg over the file-backed registry of this user, or of the directory
// given with --dir before the command (for tests and the demo).

#include <iostream>
#include <string>
#include <vector>

#include "platform/linux/file_registry.h"
#include "tools/reg_tool.h"

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    std::string directory;
    if (args.size() >= 2 && args[0] == "--dir") {
        directory = args[1];
        args.erase(args.begin(), args.begin() + 2);
    } else if (!args.empty() && args[0].rfind("--dir=", 0) == 0) {
        directory = args[0].substr(6);
        args.erase(args.begin());
    } else {
        directory = kx::FileRegistry::DefaultDirectory();
    }
    // The tool reports the store's failure itself, once, after its own message.
    kx::FileRegistry registry(directory, kx::DamageReport::Silent);
    const int code = kx::RunRegTool(registry, args, kx::RegToolStreams{std::cin, std::cout, std::cerr});
    if (code != 0 && !registry.LastError().empty()) std::cerr << registry.LastError() << '\n';
    return code;
}
