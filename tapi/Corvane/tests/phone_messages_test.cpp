// The operation sets of the phone request (CCMPC) and phone reply (CCMPR): one table of
// operation sequences run on both records, checking the set on the wire and the warnings.
// The component's logging instance is initialised here (the test links the same static
// logging library), so that its warnings reach the standard output.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "CCMLayout.h"
#include "CCMPC.h"
#include "CCMPR.h"
#include "Corvane.h"
#include "KivLog.h"

namespace {

enum class Action { kSet, kClear, kTest };

struct Step {
  Action action;
  DWORD op;
  DWORD expected_test = 0;  // for kTest
};

struct OpCase {
  const char* name;
  std::vector<Step> steps;
  DWORD expected_set;
  // The warnings printed, by operation and value; their texts depend on the record.
  std::vector<std::pair<Action, int>> warnings;
};

const std::vector<OpCase>& Cases() {
  static const std::vector<OpCase> cases = {
      {"one query item", {{Action::kSet, eCvnNumButtons}}, 0x00000001, {}},
      {"setting item bit",
       {{Action::kSet, eCvnButtonInfo}, {Action::kSet, eCvnRingVol}, {Action::kTest, eCvnRingVol, 0x02000000}},
       0x02010000, {}},
      {"set all query drops setting bits",
       {{Action::kSet, eCvnRingVol}, {Action::kSet, eCvnSetAllQuery}, {Action::kTest, eCvnRingVol, 0}},
       0x000000FF, {}},
      {"clear one item",
       {{Action::kSet, eCvnHWVer}, {Action::kClear, eCvnHWVer}, {Action::kTest, eCvnHWVer, 0}}, 0, {}},
      {"clear all",
       {{Action::kSet, eCvnOwnerName}, {Action::kSet, eCvnLampMode}, {Action::kClear, eCvnClearAll}}, 0, {}},
      {"clear all is no set operation",
       {{Action::kSet, eCvnMACAddr}, {Action::kSet, eCvnClearAll}}, 0x00000080, {{Action::kSet, 19}}},
      {"set all query is no clear operation",
       {{Action::kSet, eCvnSWVer}, {Action::kClear, eCvnSetAllQuery}}, 0x00000010, {{Action::kClear, 18}}},
      {"set all query cannot be tested",
       {{Action::kSet, eCvnSetAllQuery}, {Action::kTest, eCvnSetAllQuery, 0}}, 0x000000FF, {{Action::kTest, 18}}},
      {"negative and large values are unknown",
       {{Action::kSet, static_cast<DWORD>(-1)}, {Action::kClear, 20}, {Action::kTest, 0x10000, 0}},
       0, {{Action::kSet, -1}, {Action::kClear, 20}, {Action::kTest, 65536}}},
  };
  return cases;
}

struct RecordKind {
  const char* name;
  const char* set_text;
  const char* clear_text;
  const char* test_text;
};

const RecordKind kPc = {"CCMPC", "CCMPC SetPhoneOperation(): Unknown Phone Operation Type (%d)",
                        "CCMPC ClearPhoneOperation: Unknown Phone Operation Type (%d)",
                        "CCMPC bIsItSet(): Unknown Phone Operation Type (%d)"};
const RecordKind kPr = {"CCMPR", "CCMPR SetQueryOperation(): Unknown Phone Operation Type (%d)",
                        "CCMPR ClearQueryOperation: Unknown Phone Operation Type (%d)",
                        "CCMPR bIsItSet(): Unknown Phone Operation Type (%d)"};

// The warning text with its %d filled in.
std::string Format(const char* format, int value) {
  std::string text = format;
  text.replace(text.find("%d"), 2, std::to_string(value));
  return text;
}

class PhoneMessages : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    // The records report through module index 0 of the component's logging instance.
    KivLog::Init(0);
    ASSERT_EQ(KivLog::RegisterModule("Corvane"), 0);
    KivLog::SetOutputFlags(0x4);  // emit warnings
  }

  // Runs one case on a record; returns what it printed.
  template <class Record>
  std::string Run(const OpCase& c, Record& record) {
    ::testing::internal::CaptureStdout();
    for (const Step& step : c.steps) {
      switch (step.action) {
        case Action::kSet: Set(record, step.op); break;
        case Action::kClear: Clear(record, step.op); break;
        case Action::kTest: EXPECT_EQ(record.bIsItSet(step.op), step.expected_test); break;
      }
    }
    return ::testing::internal::GetCapturedStdout();
  }

  static void Set(CCMPC& r, DWORD op) { r.SetPhoneOperation(op); }
  static void Clear(CCMPC& r, DWORD op) { r.ClearPhoneOperation(op); }
  static void Set(CCMPR& r, DWORD op) { r.SetQueryOperation(op); }
  static void Clear(CCMPR& r, DWORD op) { r.ClearQueryOperation(op); }

  template <class Record>
  void Check(const RecordKind& kind) {
    for (const OpCase& c : Cases()) {
      SCOPED_TRACE(std::string(kind.name) + ": " + c.name);
      Record record;
      const std::string printed = Run(c, record);
      EXPECT_EQ(record.GetOperationSet(), c.expected_set);
      BYTE wire[4];
      CCMLayout::WriteDword(wire, c.expected_set);
      EXPECT_EQ(std::memcmp(record.GetBytes() + 32, wire, 4), 0);
      for (DWORD op = 0; op <= 17; ++op) {
        EXPECT_EQ(record.bIsItSet(op), c.expected_set & CCMLayout::PhoneOperationBit(op));
      }
      size_t lines = 0;
      for (const auto& [action, value] : c.warnings) {
        const char* format = action == Action::kSet     ? kind.set_text
                             : action == Action::kClear ? kind.clear_text
                                                        : kind.test_text;
        EXPECT_NE(printed.find(" W " + Format(format, value)), std::string::npos) << printed;
        ++lines;
      }
      EXPECT_EQ(static_cast<size_t>(std::count(printed.begin(), printed.end(), '\n')), lines)
          << printed;
    }
  }
};

TEST_F(PhoneMessages, RequestOperationSet) { Check<CCMPC>(kPc); }
TEST_F(PhoneMessages, ReplyOperationSet) { Check<CCMPR>(kPr); }

TEST_F(PhoneMessages, EveryItemHasItsBit) {
  CCMPC request;
  for (DWORD op = eCvnNumButtons; op <= eCvnRingVol; ++op) request.SetPhoneOperation(op);
  EXPECT_EQ(request.GetOperationSet(), 0x03FF00FFu);
}

// Reset keeps the header's Type and Extension and zeroes the body and the set.
TEST_F(PhoneMessages, ResetKeepsTypeAndExtension) {
  CCMPC request;
  request.SetType(0x0401);
  request.SetExtension("2001");
  request.SetPhoneOperation(eCvnNumLamps);
  request.SetText1("kept?");
  request.Reset();
  EXPECT_EQ(request.GetOperationSet(), 0u);
  EXPECT_EQ(request.bIsItSet(eCvnNumLamps), 0u);
  EXPECT_EQ(request.GetType(), 0x0401u);
  EXPECT_EQ(request.GetLength(), 128u);
  char extension[18];
  request.GetExtension(extension);
  EXPECT_STREQ(extension, "2001");
  const std::vector<BYTE> body(request.GetBytes() + 32, request.GetBytes() + 128);
  EXPECT_EQ(body, std::vector<BYTE>(96, 0));
  request.SetPhoneOperation(eCvnNumButtons);
  EXPECT_EQ(request.GetOperationSet(), 1u);
}

}  // namespace
