// The command-line parser shared by every command: words, options, numbers and the help layout.
#include "cli/arguments.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>

namespace tessel::cli {
namespace {

TCommandSpec Spec() {
  TCommandSpec spec;
  spec.Name = "try";
  spec.Synopsis = "IN OUT [--quality N] [--flag]";
  spec.Description = "Tries things.";
  spec.Options = {{"--quality", "N", "a number"}, {"--flag", "", "a flag"}, {"--split", "X,..", "a list"}};
  spec.MinOperands = 1;
  spec.MaxOperands = 2;
  spec.OperandsText = "IN and maybe OUT";
  return spec;
}

// The usage error's text, or "" when the words parse.
std::string ErrorOf(const TArgs& args) {
  try {
    ParseArguments(Spec(), args);
    return "";
  } catch (const EUsageError& e) {
    return e.what();
  }
}

TEST(ArgumentsTest, OptionsOperandsAndTheEndOfOptions) {
  TArguments a =
      ParseArguments(Spec(), {"--quality", "7", "in.png", "--flag", "--split=1,2", "--split", "3"});
  EXPECT_EQ(a.Operands, (TArgs{"in.png"}));
  EXPECT_EQ(a.Value("--quality"), "7");
  EXPECT_TRUE(a.Has("--flag"));
  EXPECT_EQ(a.Values("--split"), (TArgs{"1,2", "3"}));
  EXPECT_FALSE(a.Has("--nothing"));
  EXPECT_EQ(a.Value("--nothing", "fallback"), "fallback");

  // The last value counts; a value may begin with a dash or be empty.
  a = ParseArguments(Spec(), {"in", "--quality", "1", "--quality=-5"});
  EXPECT_EQ(a.Value("--quality"), "-5");
  EXPECT_EQ(ParseArguments(Spec(), {"in", "--quality", "--flag"}).Value("--quality"), "--flag");
  EXPECT_TRUE(ParseArguments(Spec(), {"in", "--quality="}).Has("--quality"));

  // After "--" every word is an operand; "-" alone always is one.
  a = ParseArguments(Spec(), {"--flag", "--", "-x.png", "--quality"});
  EXPECT_EQ(a.Operands, (TArgs{"-x.png", "--quality"}));
  EXPECT_FALSE(a.Has("--quality"));
  EXPECT_EQ(ParseArguments(Spec(), {"-", "out"}).Operands, (TArgs{"-", "out"}));
  // --help and --version stop the parse, but not after "--".
  EXPECT_TRUE(ParseArguments(Spec(), {"a", "b", "--version", "c"}).Version);
  EXPECT_FALSE(ParseArguments(Spec(), {"--", "--help"}).Help);
}

TEST(ArgumentsTest, WrongUsageIsNamed) {
  EXPECT_NE(ErrorOf({"in", "--bogus"}).find("unknown option \"--bogus\""), std::string::npos);
  EXPECT_NE(ErrorOf({"-x.png"}).find("put -- before a file name"), std::string::npos);
  EXPECT_NE(ErrorOf({"in", "--bogus=3"}).find("\"--bogus\""), std::string::npos);
  EXPECT_EQ(ErrorOf({"in", "--quality"}), "--quality needs a value (--quality N)");
  EXPECT_EQ(ErrorOf({"in", "--flag=1"}), "--flag takes no value");
  EXPECT_EQ(ErrorOf({}), "expected IN and maybe OUT");
  EXPECT_EQ(ErrorOf({"a", "b", "c"}), "unexpected \"c\" (expected IN and maybe OUT)");
  // A single dash before a long name is not an option of ours.
  EXPECT_NE(ErrorOf({"in", "-quality", "3"}), "");
}

TEST(ArgumentsTest, WholeNumbers) {
  int64_t v = 0;
  for (const auto& [text, expected] :
       std::vector<std::pair<std::string, int64_t>>{{"0", 0},
                                                    {"42", 42},
                                                    {"+42", 42},
                                                    {"-42", -42},
                                                    {" 7 ", 7},
                                                    {"\t-3", -3},
                                                    {"007", 7},
                                                    {"9223372036854775807", INT64_MAX},
                                                    {"-9223372036854775808", INT64_MIN}}) {
    ASSERT_TRUE(TryParseWholeNumber(text, v)) << text;
    EXPECT_EQ(v, expected) << text;
  }
  for (const char* text : {"", " ", "+", "-", "+-5", "-+5", "$32", "0x20", "1e3", "5.0", "5 6", "9x", "x9",
                           "9223372036854775808", "1,2"}) {
    EXPECT_FALSE(TryParseWholeNumber(text, v)) << text;
  }
  EXPECT_EQ(WholeNumber("--q", "100", 0, 100), 100);
  try {
    WholeNumber("--q", "101", 0, 100);
    FAIL();
  } catch (const EUsageError& e) {
    EXPECT_STREQ(e.what(), "--q: expected a whole number from 0 to 100, got \"101\"");
  }
  EXPECT_EQ(WholeNumberList("--s", "1, 2 ,+3", 0, 9), (std::vector<int64_t>{1, 2, 3}));
  EXPECT_THROW(WholeNumberList("--s", "1,,3", 0, 9), EUsageError);
  EXPECT_THROW(WholeNumberList("--s", "1,", 0, 9), EUsageError);
  EXPECT_THROW(WholeNumberList("--s", "", 0, 9), EUsageError);
}

TEST(ArgumentsTest, HelpListsEveryOptionAndWrapsWithoutBreakingGroups) {
  std::ostringstream out;
  PrintCommandHelp(out, Spec());
  const std::string help = out.str();
  EXPECT_EQ(
      help.rfind("Usage: tessel-cli try IN OUT [--quality N] [--flag]\n\nTries things.\n\nOptions:\n", 0), 0u)
      << help;
  for (const char* line :
       {"\n  --quality N         a number\n", "\n  --flag              a flag\n", "\n  -h, --help          ",
        "\n  --version           ", "\n  --                  "}) {
    EXPECT_NE(help.find(line), std::string::npos) << line << "\n" << help;
  }
  EXPECT_NE(help.find("\nExit status: 0 success, 1 failure"), std::string::npos);

  EXPECT_EQ(Wrap("aa bb cc", 2, 7), "aa bb\n  cc");
  EXPECT_EQ(Wrap("a [--grid FILE] b", 4, 10), "a\n    [--grid FILE]\n    b");
  EXPECT_EQ(Wrap("one\n\ntwo three", 0, 5), "one\n\ntwo\nthree");
}

}  // namespace
}  // namespace tessel::cli
