// The one command-line parser of tessel-cli. Every command describes its operands and options in a
// TCommandSpec; the same table parses the words, checks them and prints the command's --help, so
// all commands follow one set of rules:
//   - options and operands may come in any order; "--" ends the options, so every later word is an
//     operand even when it begins with "-" (a file named "-x.png");
//   - an option's value is the next word ("--quality 90") or follows an equals sign ("--quality=90");
//   - an option given twice keeps its last value, except list options, which collect every value;
//   - numbers are decimal: optional blanks, an optional sign, digits, optional blanks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <limits>
#include <ostream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tessel::cli {

using TArgs = std::vector<std::string>;

// Wrong usage: the program prints the text with a pointer to --help and exits with status 2.
class EUsageError : public std::runtime_error {
 public:
  explicit EUsageError(const std::string& message) : std::runtime_error(message) {}
};

struct TOptionSpec {
  std::string Name;   // "--quality"
  std::string Value;  // the value's placeholder ("N"); empty for a flag without a value
  std::string Help;   // what it does, for --help
};

struct TCommandSpec {
  std::string Name;         // "convert"
  std::string Synopsis;     // what follows the name on the usage line
  std::string Summary;      // one line for the program's command list
  std::string Description;  // the paragraph under the usage line of the command's --help
  std::vector<TOptionSpec> Options;
  size_t MinOperands = 0;
  size_t MaxOperands = std::numeric_limits<size_t>::max();
  std::string OperandsText;  // names the operands in the usage error for a wrong count ("IN and OUT")
};

// The words of one command line, checked against its TCommandSpec.
class TArguments {
 public:
  std::vector<std::string> Operands;
  bool Help = false;     // --help or -h: print the help instead of running
  bool Version = false;  // --version: print the version instead of running

  // Whether the option was given.
  bool Has(std::string_view name) const;
  // The value of the option's last occurrence, or `fallback` when it was not given.
  std::string Value(std::string_view name, const std::string& fallback = {}) const;
  // The values of every occurrence, in command-line order.
  std::vector<std::string> Values(std::string_view name) const;
  // Of options that undo each other (--dither, --no-dither), the one given last; empty when none.
  std::string Last(std::initializer_list<std::string_view> names) const;

  void Add(std::string name, std::string value) { options_.emplace_back(std::move(name), std::move(value)); }

 private:
  std::vector<std::pair<std::string, std::string>> options_;
};

// Parses `args` (the words after the command's name). --help and --version stop the parse at once
// (they win over any later mistake); anything else that breaks the rules raises EUsageError.
TArguments ParseArguments(const TCommandSpec& spec, const TArgs& args);

// The one rule for numbers on the command line. False for anything else or outside 64 bits.
bool TryParseWholeNumber(std::string_view text, int64_t& value);
// The number of `option`, checked against [low, high]; EUsageError naming the option otherwise.
int64_t WholeNumber(std::string_view option, std::string_view text, int64_t low, int64_t high);
// The items of a comma-separated list ("1,,3" has an empty second item).
std::vector<std::string_view> SplitList(std::string_view text);
// A comma-separated list of such numbers ("100,250"); an empty item is an error.
std::vector<int64_t> WholeNumberList(std::string_view option, std::string_view text, int64_t low,
                                     int64_t high);

// The command's help: usage line, description, options, exit status.
void PrintCommandHelp(std::ostream& out, const TCommandSpec& spec);
// `text` broken at blanks into lines of at most `width` characters, every line after the first
// starting with `indent` blanks. Bracketed groups ("[--grid FILE.grd]") are not broken.
std::string Wrap(std::string_view text, size_t indent, size_t width);

inline constexpr const char* kExitStatusText =
    "Exit status: 0 success, 1 failure (the reason on standard error), 2 wrong usage.";

}  // namespace tessel::cli
