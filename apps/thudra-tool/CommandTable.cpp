#include "ToolCommand.h"

// One line per subcommand: X(function, name, arguments, what it does).
#define THUDRA_TOOL_COMMANDS(X)                                                          \
  X(RunInfo, "info", "[--json] FILE...", "print the properties and chunks of audio files") \
  X(RunAnalyse, "analyse", "[--json] FILE", "print the analysis of channel 0 of an audio file") \
  X(RunSession, "session", "[--json] FILE", "print what a session file holds, read as the host reads it") \
  X(RunSmf, "smf", "[--json] FILE", "print what the MIDI file player loads of a Standard MIDI File")

#define THUDRA_DECLARE_COMMAND(function, name, arguments, summary) int function(TToolArgs& args);
#define THUDRA_COMMAND_ENTRY(function, name, arguments, summary) {name, arguments, summary, function},

THUDRA_TOOL_COMMANDS(THUDRA_DECLARE_COMMAND)

const std::vector<TToolCommand>& GetToolCommands() {
  static const std::vector<TToolCommand> commands = {THUDRA_TOOL_COMMANDS(THUDRA_COMMAND_ENTRY)};
  return commands;
}

const TToolCommand* FindToolCommand(const std::string& name) {
  for (const TToolCommand& command : GetToolCommands())
    if (name == command.name) return &command;
  return nullptr;
}

int PrintUsage(const TToolCommand& command, std::ostream& err) {
  err << "usage: thudra-tool " << command.name << ' ' << command.arguments << '\n';
  return exitUsage;
}
