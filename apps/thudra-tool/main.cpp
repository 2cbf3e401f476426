// thudra-tool: looks inside the program's files.
#include <iostream>

#include "ToolCommand.h"
#include "pc/foundation/PosixPlatform.h"

namespace {
int PrintHelp(std::ostream& out) {
  out << "usage: thudra-tool <command> [arguments]\n\ncommands:\n";
  for (const TToolCommand& command : GetToolCommands())
    out << "  " << command.name << ' ' << command.arguments << "\n      " << command.summary << '\n';
  return exitUsage;
}
}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return PrintHelp(std::cerr);
  const std::string name = argv[1];
  if (name == "help" || name == "--help" || name == "-h") {
    PrintHelp(std::cout);
    return exitOk;
  }
  const TToolCommand* command = FindToolCommand(name);
  if (!command) {
    std::cerr << "thudra-tool: unknown command \"" << name << "\"\n";
    return PrintHelp(std::cerr);
  }
  InstallPosixPlatform();
  TToolArgs args{{argv + 2, argv + argc}, std::cout, std::cerr};
  return command->run(args);
}
