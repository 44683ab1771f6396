#include "cli/commands.h"

#include <exception>
#include <iostream>

#include "tessel/version.h"

namespace tessel::cli {

// Each command lives in a file of its own; this table lists them.
const std::vector<TCommand>& Commands() {
  static const std::vector<TCommand> commands = {InfoCommand(), ConvertCommand(), ExportCommand(),
                                                 FilterCommand()};
  return commands;
}

namespace {

void PrintProgramHelp(std::ostream& out) {
  out << "Usage: tessel-cli COMMAND [ARGUMENTS]\n"
         "       tessel-cli COMMAND --help\n\n"
         "Cuts images into slices for web pages, converts and adjusts images, without a window.\n\n"
         "Commands:\n";
  for (const TCommand& command : Commands()) {
    const std::string head = "  " + command.Spec.Name + " ";
    out << head << Wrap(command.Spec.Synopsis, head.size(), 100) << "\n"
        << "      " << Wrap(command.Spec.Summary, 6, 100) << "\n";
  }
  out << "\nOptions:\n"
         "  -h, --help          print this help and exit (after a command: that command's help)\n"
         "  --version           print the program's version and exit\n\n"
      << kExitStatusText << "\n";
}

void PrintVersion() {
  std::cout << "tessel-cli " << kVersion << "\n";
}

const TCommand* FindCommand(const std::string& name) {
  for (const TCommand& command : Commands()) {
    if (command.Spec.Name == name) return &command;
  }
  return nullptr;
}

int UsageError(const std::string& where, const std::string& message, const std::string& helpCommand) {
  std::cerr << where << ": " << message << "\n"
            << "Try \"" << helpCommand << " --help\" for more information.\n";
  return 2;
}

int RunCommand(const TCommand& command, const TArgs& args) {
  const std::string where = "tessel-cli " + command.Spec.Name;
  try {
    const TArguments parsed = ParseArguments(command.Spec, args);
    if (parsed.Help) {
      PrintCommandHelp(std::cout, command.Spec);
      return 0;
    }
    if (parsed.Version) {
      PrintVersion();
      return 0;
    }
    return command.Run(parsed);
  } catch (const EUsageError& e) {
    return UsageError(where, e.what(), where);
  } catch (const std::exception& e) {
    std::cerr << e.what() << "\n";
    return 1;
  }
}

}  // namespace

int Main(const TArgs& args) {
  if (args.empty()) {
    PrintProgramHelp(std::cerr);
    return 2;
  }
  const std::string& first = args[0];
  if (first == "--help" || first == "-h") {
    PrintProgramHelp(std::cout);
    return 0;
  }
  if (first == "--version") {
    PrintVersion();
    return 0;
  }
  if (first == "help") {
    // "help" alone is the program's help, "help COMMAND" that command's.
    if (args.size() == 1) {
      PrintProgramHelp(std::cout);
      return 0;
    }
    const TCommand* command = args.size() == 2 ? FindCommand(args[1]) : nullptr;
    if (command == nullptr) {
      return UsageError("tessel-cli help", "expected one of the commands, got \"" + args.back() + "\"",
                        "tessel-cli");
    }
    PrintCommandHelp(std::cout, command->Spec);
    return 0;
  }
  const TCommand* command = FindCommand(first);
  if (command == nullptr) return UsageError("tessel-cli", "unknown command \"" + first + "\"", "tessel-cli");
  return RunCommand(*command, TArgs(args.begin() + 1, args.end()));
}

}  // namespace tessel::cli
