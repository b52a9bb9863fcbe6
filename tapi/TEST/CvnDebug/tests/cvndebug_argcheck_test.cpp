// The argument rules: optional line, optional request id, line and text, number lists and the
// extension check.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "CvnDebugArgCheck.h"

namespace {

constexpr LONG kDefault = static_cast<LONG>(0xF0000000u);

void Fill(ArgList& args, const std::vector<std::string>& texts) {
  args.Clear();
  for (const std::string& text : texts) args.Add(text.c_str());
}

TEST(ArgCheckTest, LinesAndRequestIds) {
  enum Rule { kLine, kReqId, kLineText };
  struct Case {
    Rule rule;
    std::vector<std::string> args;
    ArgCheck check;
    LONG value;  // SAL or request id when kOk
  };
  const Case cases[] = {
      {kLine, {}, ArgCheck::kOk, 65},
      {kLine, {"1"}, ArgCheck::kOk, 65},
      {kLine, {"3"}, ArgCheck::kOk, 67},
      {kLine, {"0"}, ArgCheck::kBadLine, 0},
      {kLine, {"4"}, ArgCheck::kBadLine, 0},
      {kLine, {"-1"}, ArgCheck::kUsage, 0},
      {kLine, {"x"}, ArgCheck::kUsage, 0},
      {kLine, {"1", "2"}, ArgCheck::kUsage, 0},
      {kReqId, {}, ArgCheck::kOk, kDefault},
      {kReqId, {"7"}, ArgCheck::kOk, 7},
      {kReqId, {"0"}, ArgCheck::kOk, 0},
      {kReqId, {"7x"}, ArgCheck::kUsage, 0},
      {kReqId, {"7", "8"}, ArgCheck::kUsage, 0},
      {kLineText, {"2", "1001"}, ArgCheck::kOk, 66},
      {kLineText, {"4", "1001"}, ArgCheck::kBadLine, 0},
      {kLineText, {"a", "1001"}, ArgCheck::kUsage, 0},
      {kLineText, {"1"}, ArgCheck::kUsage, 0},
      {kLineText, {"1", "2", "3"}, ArgCheck::kUsage, 0},
  };
  ArgList args;
  for (const Case& c : cases) {
    Fill(args, c.args);
    LONG value = -99;
    const char* text = nullptr;
    ArgCheck check = ArgCheck::kOk;
    switch (c.rule) {
      case kLine:
        check = GetOptionalLine(args, value);
        break;
      case kReqId:
        check = GetOptionalReqId(args, kDefault, value);
        break;
      case kLineText:
        check = GetLineAndText(args, value, text);
        break;
    }
    const std::string what = std::to_string(c.rule) + " with " + std::to_string(c.args.size()) +
                             " args" + (c.args.empty() ? "" : ", first " + c.args[0]);
    EXPECT_EQ(check, c.check) << what;
    if (c.check != ArgCheck::kOk) continue;
    EXPECT_EQ(value, c.value) << what;
    if (c.rule == kLineText) {
      EXPECT_STREQ(text, c.args[1].c_str()) << what;
    }
  }
}

TEST(ArgCheckTest, GetIntsNeedsExactlyThatManyNumbers) {
  ArgList args;
  int values[2] = {0, 0};
  Fill(args, {"2", "1"});
  ASSERT_TRUE(GetInts(args, 2, values));
  EXPECT_EQ(values[0], 2);
  EXPECT_EQ(values[1], 1);
  Fill(args, {"2"});
  EXPECT_FALSE(GetInts(args, 2, values));
  Fill(args, {"2", "1s"});
  EXPECT_FALSE(GetInts(args, 2, values));
}

TEST(ArgCheckTest, ExtensionMustStartWithAPositiveNumber) {
  struct Case {
    const char* extension;
    bool valid;
  };
  const Case cases[] = {
      {"1234", true}, {"12x", true},  {"007", true},  {" 5", true},
      {"+5", true},   {"abc", false}, {"0", false},   {"000", false},
      {"", false},    {"-5", false},  {"x12", false}, {"99999999999999999999", true},
  };
  for (const Case& c : cases) EXPECT_EQ(IsValidExtension(c.extension), c.valid) << c.extension;
}

}  // namespace
