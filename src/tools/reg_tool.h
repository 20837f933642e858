#pragma once

// kxreg, a registry command-line tool in the manner of reg.exe, for
// installers, the demo and tests. It runs over any Registry, so the tests
// drive it against the in-memory registry.
//
//   add    KEY [/v Name | /ve] [/t Type] [/s Separator] [/d Data] [/f]
//   query  KEY [/v Name | /ve] [/s]
//   delete KEY [/v Name | /ve | /va] [/f]
//   export KEY File [/y]
//   import ROOT File

#include <iosfwd>
#include <string>
#include <vector>

#include "platform/registry.h"

namespace kx {

struct RegToolStreams {
    std::istream& in;   // answers to confirmation questions
    std::ostream& out;  // results
    std::ostream& err;  // errors
};

// `args` leaves out the program name. Returns the exit code: 0 on success, 1 on failure.
int RunRegTool(Registry& registry, const std::vector<std::string>& args,
               const RegToolStreams& streams);

}  // namespace kx
