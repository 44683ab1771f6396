// tessel-cli's commands. Each is described by its TCommandSpec (operands, options, help) and run
// with the arguments parsed against it; it returns the exit status: 0 success, 1 failure (the
// error's text on standard error), 2 wrong usage (EUsageError).
#pragma once

#include <string>
#include <vector>

#include "cli/arguments.h"

namespace tessel::cli {

struct TCommand {
  TCommandSpec Spec;
  int (*Run)(const TArguments& args);
};

TCommand InfoCommand();
TCommand ConvertCommand();
TCommand ExportCommand();
TCommand FilterCommand();

// The table of commands, in the order --help lists them.
const std::vector<TCommand>& Commands();

// Runs tessel-cli with argv[1..]; the whole program behind main().
int Main(const TArgs& args);

}  // namespace tessel::cli
