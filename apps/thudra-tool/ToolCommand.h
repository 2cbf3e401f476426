// The subcommands of thudra-tool. Each lives in a <Name>Command.cpp of its own as
//   int Run<Name>(TToolArgs& args);
// and is registered with one line in CommandTable.cpp.
#pragma once
#include <ostream>
#include <string>
#include <vector>

struct TToolArgs {
  std::vector<std::string> words;  // the arguments behind the subcommand's name
  std::ostream& out;
  std::ostream& err;
};

struct TToolCommand {
  const char* name;
  const char* arguments;
  const char* summary;
  int (*run)(TToolArgs& args);
};

// Exit codes of every subcommand.
constexpr int exitOk = 0;
constexpr int exitFailed = 1;  // at least one file could not be read
constexpr int exitUsage = 2;

const std::vector<TToolCommand>& GetToolCommands();
const TToolCommand* FindToolCommand(const std::string& name);
// "usage: thudra-tool <name> <arguments>" on err; answers exitUsage.
int PrintUsage(const TToolCommand& command, std::ostream& err);
