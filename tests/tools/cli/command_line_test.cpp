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

}  // namespace
}  // namespace tavrix_tool
