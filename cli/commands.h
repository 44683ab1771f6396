// tessel-cli's commands. Each takes the arguments after its name and returns the exit status:
// 0 success, 1 failure (the error's text on standard error), 2 wrong usage.
#pragma once

#include <string>
#include <vector>

namespace tessel::cli {

using TArgs = std::vector<std::string>;

struct TCommand {
  const char* Name;
  const char* Synopsis;  // one line for --help
  int (*Run)(const TArgs& args);
};

int RunInfo(const TArgs& args);
int RunConvert(const TArgs& args);
int RunExport(const TArgs& args);
int RunFilter(const TArgs& args);

// The table of commands, in the order --help lists them.
const std::vector<TCommand>& Commands();

// Runs tessel-cli with argv[1..]; the whole program behind main().
int Main(const TArgs& args);

}  // namespace tessel::cli
