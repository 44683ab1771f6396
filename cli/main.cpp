#include "cli/commands.h"

int main(int argc, char** argv) {
  return tessel::cli::Main(tessel::cli::TArgs(argv + 1, argv + argc));
}
