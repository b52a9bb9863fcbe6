// The directory: the built-in default and the text format's rules.
#include "ccmsim/directory.h"

#include <gtest/gtest.h>

namespace ccmsim {
namespace {

TEST(DirectoryTest, DefaultHoldsRegistrableAndVirtualExtensionsAndOrbits) {
  const Directory d = Directory::Default(50);
  ASSERT_EQ(d.entries().size(), 30u);
  const DirectoryEntry* phone = d.Find("119");
  ASSERT_NE(phone, nullptr);
  EXPECT_FALSE(phone->is_virtual);
  EXPECT_FALSE(phone->password.has_value());
  EXPECT_EQ(phone->owner, "Phone 119");
  EXPECT_EQ(phone->group, "1");
  const DirectoryEntry* virt = d.Find("209");
  ASSERT_NE(virt, nullptr);
  EXPECT_TRUE(virt->is_virtual);
  EXPECT_TRUE(virt->auto_answer);
  EXPECT_EQ(d.RingMs(*virt), 50);
  EXPECT_EQ(d.Find("120"), nullptr);
  EXPECT_TRUE(d.IsOrbit("700"));
  EXPECT_TRUE(d.IsOrbit("709"));
  EXPECT_FALSE(d.IsOrbit("710"));
}

TEST(DirectoryTest, ParsesEntriesWithSettings) {
  Result<Directory> d = Directory::Parse(
      "# test directory\n"
      "\n"
      "phone 1001 password=s3cret name=\"Smith, Anna\" group=sales  # front desk\n"
      "phone 098-100\n"
      "virtual 5000 answer=never name=IVR\n"
      "virtual 5001 answer=10 hangup=2000\n"
      "orbit 80\n");
  ASSERT_TRUE(d.ok()) << d.status().message();
  const DirectoryEntry* anna = d.value().Find("1001");
  ASSERT_NE(anna, nullptr);
  EXPECT_EQ(anna->password.value_or("-"), "s3cret");
  EXPECT_EQ(anna->owner, "Smith, Anna");
  EXPECT_EQ(anna->group, "sales");
  ASSERT_NE(d.value().Find("099"), nullptr);  // a range keeps its leading zeros
  EXPECT_EQ(d.value().Find("099")->owner, "Phone 099");
  EXPECT_FALSE(d.value().Find("5000")->auto_answer);
  EXPECT_EQ(d.value().Find("5000")->owner, "IVR");
  EXPECT_EQ(d.value().RingMs(*d.value().Find("5001")), 10);
  EXPECT_EQ(d.value().Find("5001")->hangup_ms, 2000);
  EXPECT_TRUE(d.value().IsOrbit("80"));
}

TEST(DirectoryTest, RejectsMalformedLinesNamingTheLine) {
  struct Case {
    const char* text;
    const char* message_part;
  };
  const Case cases[] = {
      {"telephone 100", "unknown keyword"},
      {"phone", "needs a number"},
      {"phone 10a", "not a number"},
      {"phone 123456789012345678", "not a number"},
      {"phone 100-099", "empty"},
      {"phone 10-100", "same length"},
      {"phone 100-1200", "same length"},
      {"phone 1000-2999", "longer than 1000"},
      {"phone 100 password=1234567890123456", "password longer"},
      {"phone 100 name=\"12345678901234567890123456789012\"", "name longer"},
      {"phone 100 name=\"open", "unterminated quote"},
      {"phone 100 answer=10", "not a setting"},
      {"virtual 100 password=x", "not a setting"},
      {"virtual 100 answer=soon", "milliseconds"},
      {"virtual 100 hangup=-5", "milliseconds"},
      {"phone 100 loud", "KEY=VALUE"},
      {"phone 100\nphone 100", "listed twice"},
      {"orbit 100\nphone 100", "listed twice"},
      {"orbit 700 group=1", "only a number"},
  };
  for (const Case& c : cases) {
    Result<Directory> d = Directory::Parse(std::string("# first\n") + c.text);
    ASSERT_FALSE(d.ok()) << c.text;
    EXPECT_NE(d.status().message().find("line "), std::string::npos) << d.status().message();
    EXPECT_NE(d.status().message().find(c.message_part), std::string::npos) << c.text << " -> " << d.status().message();
  }
}

TEST(DirectoryTest, LoadReportsAMissingFile) {
  Result<Directory> d = Directory::Load("/nonexistent/ccmsim-directory.txt");
  ASSERT_FALSE(d.ok());
  EXPECT_NE(d.status().message().find("cannot read"), std::string::npos);
}

}  // namespace
}  // namespace ccmsim
