// Line reading (buffer bound, discarded rest, end of input) and splitting into word and args.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "CvnDebugReader.h"

namespace {

// Reads every line of input through a buffer of cbBuffer bytes.
std::vector<std::string> ReadAll(std::string input, std::size_t cbBuffer) {
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(fmemopen(input.data(), input.size(), "r"),
                                                       &std::fclose);
  EXPECT_NE(file, nullptr);
  std::vector<std::string> lines;
  std::string line;
  while (ReadLine(file.get(), cbBuffer, line)) lines.push_back(line);
  return lines;
}

TEST(ReadLineTest, SplitsAtLineFeedsAndBoundsTheBuffer) {
  using Lines = std::vector<std::string>;
  EXPECT_EQ(ReadAll("abc\n\ndef\n", 16), (Lines{"abc", "", "def"}));
  EXPECT_EQ(ReadAll("last line without feed", 64), (Lines{"last line without feed"}));
  EXPECT_EQ(ReadAll("", 16), Lines{});
  // Five-byte buffer: four characters are kept, the rest of the line is dropped.
  EXPECT_EQ(ReadAll("abcdefgh\nxy\n", 5), (Lines{"abcd", "xy"}));
  EXPECT_EQ(ReadAll("abcd\nxy\n", 5), (Lines{"abcd", "xy"}));
  EXPECT_EQ(ReadAll("abcdefgh", 5), (Lines{"abcd"}));
  EXPECT_EQ(ReadAll(std::string(3000, 'a') + "\nexit\n", kCommandBufferSize),
            (Lines{std::string(2047, 'a'), "exit"}));
}

TEST(SplitCommandLineTest, LowerCasesTheWordAndKeepsArgumentCase) {
  ArgList args;
  args.Add("stale");
  std::string word;
  ASSERT_TRUE(SplitCommandLine("  DIAL\t1  Abc\n", word, args));
  EXPECT_EQ(word, "dial");
  ASSERT_EQ(args.Count(), 2);
  const char* text = nullptr;
  args.GetString(1, text);
  EXPECT_STREQ(text, "Abc");
}

TEST(SplitCommandLineTest, BlankLinesHaveNoWord) {
  ArgList args;
  std::string word = "old";
  for (const char* blank : {"", "   ", "\t \n"}) {
    EXPECT_FALSE(SplitCommandLine(blank, word, args)) << '"' << blank << '"';
    EXPECT_EQ(word, "");
    EXPECT_EQ(args.Count(), 0);
  }
}

TEST(SplitCommandLineTest, BoundsTheWordAndTheArguments) {
  ArgList args;
  std::string word;
  std::string line = std::string(40, 'W');
  for (int i = 0; i < 150; ++i) line += " " + std::to_string(i);
  ASSERT_TRUE(SplitCommandLine(line, word, args));
  EXPECT_EQ(word, std::string(31, 'w'));
  EXPECT_EQ(args.Count(), ArgList::kMaxArgs);
  int last = -1;
  ASSERT_TRUE(args.GetInt(99, last));
  EXPECT_EQ(last, 99);
}

}  // namespace
