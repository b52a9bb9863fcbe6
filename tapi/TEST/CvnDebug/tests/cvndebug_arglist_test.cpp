// ArgList: copies, bounds and the plain-decimal rule of GetInt.
#include <gtest/gtest.h>

#include <string>

#include "arglist.h"

namespace {

TEST(ArgListTest, AddCopiesTextAndCounts) {
  ArgList args;
  char text[] = "Abc";
  EXPECT_EQ(args.Add(text), 1);
  EXPECT_EQ(args.Add("x"), 2);
  text[0] = 'Z';
  const char* stored = nullptr;
  ASSERT_TRUE(args.GetString(0, stored));
  EXPECT_STREQ(stored, "Abc");
  EXPECT_FALSE(args.GetString(2, stored));
  EXPECT_FALSE(args.GetString(-1, stored));

  args.Clear();
  EXPECT_EQ(args.Count(), 0);
  EXPECT_FALSE(args.GetString(0, stored));
  EXPECT_EQ(args.Add("again"), 1);
}

TEST(ArgListTest, KeepsTheFirstHundred) {
  ArgList args;
  for (int i = 0; i < 120; ++i) args.Add(std::to_string(i).c_str());
  EXPECT_EQ(args.Count(), ArgList::kMaxArgs);
  int value = -1;
  ASSERT_TRUE(args.GetInt(99, value));
  EXPECT_EQ(value, 99);
  EXPECT_FALSE(args.GetInt(100, value));
}

TEST(ArgListTest, GetIntAcceptsOnlyPlainDecimal) {
  struct Case {
    const char* text;
    bool ok;
    int value;
  };
  const Case cases[] = {
      {"0", true, 0},           {"42", true, 42},
      {"007", true, 7},         {"2147483647", true, 2147483647},
      {"2147483648", false, 0}, {"99999999999999999999", false, 0},
      {"-1", false, 0},         {"+1", false, 0},
      {"1x", false, 0},         {"0x10", false, 0},
      {"", false, 0},           {" 1", false, 0},
  };
  for (const Case& c : cases) {
    ArgList args;
    args.Add(c.text);
    int value = -7;
    EXPECT_EQ(args.GetInt(0, value), c.ok) << '"' << c.text << '"';
    EXPECT_EQ(value, c.ok ? c.value : -7) << '"' << c.text << '"';
  }
}

}  // namespace
