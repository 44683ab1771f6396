#include "cli/arguments.h"

#include <algorithm>
#include <charconv>

namespace tessel::cli {

namespace {

constexpr size_t kHelpWidth = 100;
constexpr size_t kOptionColumn = 22;

const TOptionSpec kHelpOption{"--help", "", "print this help and exit"};
const TOptionSpec kVersionOption{"--version", "", "print the program's version and exit"};

bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}

std::string Quoted(std::string_view text) {
  return "\"" + std::string(text) + "\"";
}

const TOptionSpec* FindOption(const TCommandSpec& spec, std::string_view name) {
  for (const TOptionSpec& option : spec.Options) {
    if (option.Name == name) return &option;
  }
  return nullptr;
}

}  // namespace

bool TArguments::Has(std::string_view name) const {
  return std::any_of(options_.begin(), options_.end(),
                     [&](const auto& option) { return option.first == name; });
}

std::string TArguments::Value(std::string_view name, const std::string& fallback) const {
  for (auto it = options_.rbegin(); it != options_.rend(); ++it) {
    if (it->first == name) return it->second;
  }
  return fallback;
}

std::vector<std::string> TArguments::Values(std::string_view name) const {
  std::vector<std::string> values;
  for (const auto& option : options_) {
    if (option.first == name) values.push_back(option.second);
  }
  return values;
}

std::string TArguments::Last(std::initializer_list<std::string_view> names) const {
  for (auto it = options_.rbegin(); it != options_.rend(); ++it) {
    if (std::find(names.begin(), names.end(), it->first) != names.end()) return it->first;
  }
  return {};
}

TArguments ParseArguments(const TCommandSpec& spec, const TArgs& args) {
  TArguments parsed;
  bool optionsEnded = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& word = args[i];
    if (optionsEnded || word.size() < 2 || word[0] != '-') {
      parsed.Operands.push_back(word);  // "-" alone is an operand too
      continue;
    }
    if (word == "--") {
      optionsEnded = true;
      continue;
    }
    if (word == "--help" || word == "-h") {
      parsed.Help = true;
      return parsed;
    }
    if (word == "--version") {
      parsed.Version = true;
      return parsed;
    }
    const size_t equals = word.rfind("--", 0) == 0 ? word.find('=') : std::string::npos;
    const std::string name = word.substr(0, equals);
    const TOptionSpec* option = FindOption(spec, name);
    if (option == nullptr) {
      throw EUsageError("unknown option " + Quoted(name) +
                        " (put -- before a file name that begins with a dash)");
    }
    if (option->Value.empty()) {
      if (equals != std::string::npos) throw EUsageError(name + " takes no value");
      parsed.Add(name, "");
    } else if (equals != std::string::npos) {
      parsed.Add(name, word.substr(equals + 1));
    } else {
      if (i + 1 >= args.size())
        throw EUsageError(name + " needs a value (" + name + " " + option->Value + ")");
      parsed.Add(name, args[++i]);
    }
  }
  const size_t count = parsed.Operands.size();
  if (count < spec.MinOperands) throw EUsageError("expected " + spec.OperandsText);
  if (count > spec.MaxOperands) {
    throw EUsageError("unexpected " + Quoted(parsed.Operands[spec.MaxOperands]) + " (expected " +
                      spec.OperandsText + ")");
  }
  return parsed;
}

bool TryParseWholeNumber(std::string_view text, int64_t& value) {
  const char* p = text.data();
  const char* end = text.data() + text.size();
  while (p != end && IsBlank(*p)) ++p;
  while (end != p && IsBlank(end[-1])) --end;
  // from_chars takes a minus sign but no plus sign; a plus may stand before the digits.
  if (p != end && *p == '+') {
    ++p;
    if (p == end || *p < '0' || *p > '9') return false;
  }
  if (p == end) return false;
  int64_t parsed = 0;
  const auto [next, error] = std::from_chars(p, end, parsed);
  if (error != std::errc() || next != end) return false;
  value = parsed;
  return true;
}

int64_t WholeNumber(std::string_view option, std::string_view text, int64_t low, int64_t high) {
  int64_t value = 0;
  if (!TryParseWholeNumber(text, value) || value < low || value > high) {
    throw EUsageError(std::string(option) + ": expected a whole number from " + std::to_string(low) + " to " +
                      std::to_string(high) + ", got " + Quoted(text));
  }
  return value;
}

std::vector<std::string_view> SplitList(std::string_view text) {
  std::vector<std::string_view> items;
  for (;;) {
    const size_t comma = text.find(',');
    items.push_back(text.substr(0, comma));
    if (comma == std::string_view::npos) return items;
    text.remove_prefix(comma + 1);
  }
}

std::vector<int64_t> WholeNumberList(std::string_view option, std::string_view text, int64_t low,
                                     int64_t high) {
  std::vector<int64_t> values;
  for (std::string_view item : SplitList(text)) values.push_back(WholeNumber(option, item, low, high));
  return values;
}

std::string Wrap(std::string_view text, size_t indent, size_t width) {
  std::string out;
  size_t column = indent;
  bool lineStart = true;
  const auto addWord = [&](std::string_view word) {
    if (!lineStart && column + 1 + word.size() > width) {
      out += "\n" + std::string(indent, ' ');
      column = indent;
      lineStart = true;
    }
    if (!lineStart) {
      out += ' ';
      ++column;
    }
    out += word;
    column += word.size();
    lineStart = false;
  };
  // Words end at blanks outside brackets and parentheses; a line feed starts a new line.
  int depth = 0;
  size_t start = std::string_view::npos;
  for (size_t i = 0; i <= text.size(); ++i) {
    const char c = i < text.size() ? text[i] : '\n';
    if (c == '[' || c == '(') ++depth;
    if (c == ']' || c == ')') depth = std::max(depth - 1, 0);
    if (c == '\n' || (c == ' ' && depth == 0)) {
      if (start != std::string_view::npos) addWord(text.substr(start, i - start));
      start = std::string_view::npos;
      if (c == '\n' && i < text.size()) {
        out += "\n";
        if (i + 1 < text.size() && text[i + 1] != '\n') out += std::string(indent, ' ');
        column = indent;
        lineStart = true;
        depth = 0;
      }
    } else if (start == std::string_view::npos) {
      start = i;
    }
  }
  return out;
}

void PrintCommandHelp(std::ostream& out, const TCommandSpec& spec) {
  const std::string usage = "Usage: tessel-cli " + spec.Name + " ";
  out << usage << Wrap(spec.Synopsis, usage.size(), kHelpWidth) << "\n\n"
      << Wrap(spec.Description, 0, kHelpWidth) << "\n\nOptions:\n";
  std::vector<TOptionSpec> options = spec.Options;
  options.push_back(kHelpOption);
  options.push_back(kVersionOption);
  for (const TOptionSpec& option : options) {
    std::string head = "  " + option.Name + (option.Value.empty() ? "" : " " + option.Value);
    if (option.Name == "--help") head = "  -h, --help";
    if (head.size() + 2 > kOptionColumn) {
      out << head << "\n" << std::string(kOptionColumn, ' ');
    } else {
      out << head << std::string(kOptionColumn - head.size(), ' ');
    }
    out << Wrap(option.Help, kOptionColumn, kHelpWidth) << "\n";
  }
  out << "  --" << std::string(kOptionColumn - 4, ' ')
      << Wrap("end of the options: every later word is a file name, even one that begins with a dash",
              kOptionColumn, kHelpWidth)
      << "\n\n"
      << kExitStatusText << "\n";
}

}  // namespace tessel::cli
