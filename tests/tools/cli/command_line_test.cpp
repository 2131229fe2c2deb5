#include "cli/command_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tavrix_tool {
namespace {

const std::vector<OptionSpec> kOptions = {
    {"-o", true}, {"--force", false}, {"--darks", false, true}, {"--flats", false, true}, {"--ratio", true}};

TEST(Arguments, ListOptionsTakeTheWordsUpToTheNextOptionEachUseAGroup) {
  const Arguments arguments({"--darks", "d1", "d2", "--flats", "f1", "--force", "--flats", "f2", "f3", "-o", "out"},
                            kOptions);
  EXPECT_EQ(arguments.List("--darks"), (std::vector<std::string>{"d1", "d2"}));
  EXPECT_EQ(arguments.Lists("--flats"), (std::vector<std::vector<std::string>>{{"f1"}, {"f2", "f3"}}));
  EXPECT_TRUE(arguments.Has("--force"));
  EXPECT_EQ(arguments.Value("-o"), "out");
  EXPECT_TRUE(arguments.Positionals().empty());
  EXPECT_TRUE(arguments.Lists("--check").empty());
}

TEST(Arguments, WordsAfterAFlagOrTheEndOfOptionsArePositional) {
  const Arguments arguments({"--darks", "d1", "--force", "stray", "--", "--flats"}, kOptions);
  EXPECT_EQ(arguments.Positionals(), (std::vector<std::string>{"stray", "--flats"}));
  EXPECT_FALSE(arguments.Has("--flats"));
}

TEST(Arguments, RefusesWhatTheCommandDoesNotTake) {
  struct Case {
    std::vector<std::string> words;
    std::string message;
  };
  const Case cases[] = {
      {{"--bogus"}, "unknown option --bogus"},
      {{"-o"}, "-o needs a value"},
      {{"--force=yes"}, "--force takes no value"},
      {{"--darks=d1"}, "--darks takes files"},
      {{"-o", "a", "--force", "-o", "b"}, "-o is given twice"},
      {{"--ratio=1", "--ratio", "1"}, "--ratio is given twice"},
  };
  for (const Case& c : cases) {
    try {
      Arguments(c.words, kOptions);
      ADD_FAILURE() << c.message << ": accepted";
    } catch (const UsageError& error) {
      EXPECT_NE(std::string(error.what()).find(c.message), std::string::npos) << error.what();
    }
  }
}

TEST(Arguments, NumbersMustLieInTheirRange) {
  EXPECT_DOUBLE_EQ(Arguments({"--ratio", "0.25"}, kOptions).NumberValue("--ratio", 1.0, 0.0, 1.0), 0.25);
  EXPECT_DOUBLE_EQ(Arguments({}, kOptions).NumberValue("--ratio", 0.5, 0.0, 1.0), 0.5);
  for (const char* bad : {"1.5", "x", "", "0.5x", "nan"})
    EXPECT_THROW(Arguments({"--ratio", bad}, kOptions).NumberValue("--ratio", 0.5, 0.0, 1.0), UsageError) << bad;
}

TEST(Arguments, WholeNumbersOnlyAsWritten) {
  EXPECT_EQ(Arguments({"-o", "-12"}, kOptions).IntValue("-o", 0, -20, 20), -12);
  for (const char* bad : {"+1", " 1", "1 ", "8.9", "0x10", "", "-", "1e1"})
    EXPECT_THROW(Arguments({"-o", bad}, kOptions).IntValue("-o", 0, -20, 20), UsageError) << "'" << bad << "'";
  for (const char* bad : {" 0.5", "+0.5", "0x0.8p0", "inf"})
    EXPECT_THROW(Arguments({"--ratio", bad}, kOptions).NumberValue("--ratio", 0.5, 0.0, 1.0), UsageError) << bad;
}

TEST(Arguments, HelpOnlyWhereAnOptionMayStand) {
  EXPECT_EQ(Arguments({"-o", "-h"}, kOptions).Value("-o"), "-h");
  EXPECT_EQ(Arguments({"--ratio", "--help"}, kOptions).Value("--ratio"), "--help");
  EXPECT_THROW(Arguments({"--force", "-h"}, kOptions), HelpRequested);
  EXPECT_THROW(Arguments({"--darks", "d1", "--help"}, kOptions), HelpRequested);
}

}  // namespace
}  // namespace tavrix_tool
