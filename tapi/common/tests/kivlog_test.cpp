// The logging facility: the byte layout of the four records, the gate, labels, widths of the
// name and text fields, rotation, the file size limit, a missing log folder, the module table
// and whole records from several threads. Each test starts from a reset facility and its own
// machine-state prefix.
#include <gtest/gtest.h>

#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "KivLog.h"
#include "KivLogTesting.h"
#include "kivtest/files.h"
#include "kivtest/prefix.h"

namespace {

namespace fs = std::filesystem;

constexpr std::size_t kRecord = 148;
constexpr DWORD kError = 0x80000000u;
constexpr DWORD kWarning = 0x40000000u;
constexpr DWORD kInfo = 0x20000000u;
constexpr DWORD kExtra = 0x10000000u;

// Reports with a format chosen at run time (the empty and null formats included).
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
#pragma GCC diagnostic ignored "-Wformat-security"
int PrintRaw(DWORD cls, int index, const char* format) { return KivLog::Print(cls, index, format); }
#pragma GCC diagnostic pop

std::string Record(const std::string& file, std::size_t i) { return file.substr(i * kRecord, kRecord); }

std::string LocalStamp() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char text[32];
  std::strftime(text, sizeof(text), "%m%d:%H%M%S", &local);
  return text;
}

class KivLogTest : public testing::Test {
 protected:
  void SetUp() override { KivLog::ResetForTest(); }
  void TearDown() override { KivLog::ResetForTest(); }

  // The facility as the provider starts it, with one module; returns its index.
  static int Start(const char* module = "KIVTSP") {
    KivLog::Init(0);
    return KivLog::RegisterModule(module);
  }

  fs::path LogPath() const { return prefix_.TempDir() / "KIV.log"; }

  kivtest::ScopedPrefix prefix_;
};

TEST_F(KivLogTest, RecordsAreByteExact) {
  const int index = Start();
  ASSERT_EQ(index, 0);
  const std::string before = LocalStamp();
  testing::internal::CaptureStdout();
  EXPECT_EQ(KivLog::Log(kError, index, "hello %d %s", 42, "world"), 0);
  const std::string out = testing::internal::GetCapturedStdout();
  const std::string after = LocalStamp();

  const std::string file = kivtest::ReadWholeFile(LogPath());
  ASSERT_EQ(file.size(), 4 * kRecord);

  const std::string title = Record(file, 0);
  EXPECT_EQ(title, "KIV LOGGING FACILITY LOG FILE" + std::string(146 - 29, ' ') + std::string("\n\0", 2));

  const std::string version = Record(file, 1);
  EXPECT_TRUE(std::regex_match(version.substr(0, 36),
                               std::regex(R"(Software Version: 1\.0\.0, [A-Z][a-z]{2} [ 1-3][0-9] [0-9]{4})")))
      << version;
  EXPECT_EQ(version.substr(36), std::string(147 - 36, ' ') + "\n");

  const std::regex stamp_shape(R"((0[1-9]|1[0-2])(0[1-9]|[12][0-9]|3[01]):([01][0-9]|2[0-3])[0-5][0-9][0-5][0-9])");
  const std::string creation = Record(file, 2);
  EXPECT_TRUE(std::regex_match(creation.substr(0, 11), stamp_shape)) << creation;
  EXPECT_EQ(creation.substr(11), " Logfile Created\n" + std::string(147 - 28, ' ') + "\n");

  const std::string line = Record(file, 3);
  const std::string stamp = line.substr(0, 11);
  EXPECT_TRUE(std::regex_match(stamp, stamp_shape)) << line;
  if (before <= after) {  // not across the turn of the year
    EXPECT_LE(before, stamp);
    EXPECT_LE(stamp, after);
  }
  EXPECT_EQ(line.substr(11), " KIVTSP       E hello 42 world" + std::string(119 - 14, ' ') + std::string("\n\0", 2));
  EXPECT_EQ(out, line.substr(0, 147));
}

TEST_F(KivLogTest, GateDecidesByTheFirstRuleThatApplies) {
  enum Format { kText, kEmpty, kNull };
  struct Case {
    const char* what;
    bool init;
    Format format;
    int index;
    DWORD cls;
    DWORD output_flags;
    DWORD mask;
    char label;  // 0: dropped
  };
  const Case cases[] = {
      {"not initialised", false, kText, 0, kError, 0, 0, 0},
      {"null format", true, kNull, 0, kError, 0, 0, 0},
      {"index below range", true, kText, -1, kError, 0, 0, 0},
      {"index at module count", true, kText, 1, kError, 0, 0, 0},
      {"empty format", true, kEmpty, 0, kError, 0, 0, 0},
      {"error with everything off", true, kText, 0, kError, 0, 0, 'E'},
      {"error bit with others is labelled I", true, kText, 0, kError | 1, 0, 0, 'I'},
      {"warning without its flag", true, kText, 0, kWarning, 0x2, 0, 0},
      {"warning with its flag", true, kText, 0, kWarning, 0x4, 0, 'W'},
      {"warning by the module mask", true, kText, 0, kWarning, 0x1, kWarning, 'W'},
      {"extra class with its flag", true, kText, 0, kExtra, 0x2, 0, 'Q'},
      {"extra class without its flag", true, kText, 0, kExtra, 0x4, 0, 0},
      {"extra class by the module mask", true, kText, 0, kExtra, 0x1, kExtra, 'Q'},
      {"mask selection off", true, kText, 0, kInfo, 0x6, 0xFFFFFFFFu, 0},
      {"info by the module mask", true, kText, 0, kInfo, 0x1, kInfo, 'I'},
      {"mask matches one bit", true, kText, 0, 0x120, 0x1, 0x100, 'I'},
      {"mask matches no bit", true, kText, 0, 0x20, 0x1, 0x100, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    KivLog::ResetForTest();
    if (c.init) KivLog::Init(0);
    ASSERT_EQ(KivLog::RegisterModule("MOD"), 0);
    KivLog::SetModuleMask("MOD", c.mask);
    KivLog::SetOutputFlags(c.output_flags);
    testing::internal::CaptureStdout();
    const char* format = c.format == kText ? "text" : c.format == kEmpty ? "" : nullptr;
    EXPECT_EQ(PrintRaw(c.cls, c.index, format), 0);
    const std::string out = testing::internal::GetCapturedStdout();
    if (c.label == 0) {
      EXPECT_EQ(out, "");
    } else {
      ASSERT_EQ(out.size(), 147u);
      EXPECT_EQ(out.substr(11, 16), std::string(" MOD          ") + c.label + " ");
    }
  }
  EXPECT_FALSE(fs::exists(LogPath()));  // Print never writes the file
}

TEST_F(KivLogTest, ShortcutsUseTheirClasses) {
  const int index = Start("M");
  KivLog::SetOutputFlags(0x5);
  KivLog::SetModuleMask("M", kInfo);
  testing::internal::CaptureStdout();
  KivLog::PrintError(index, "e");
  KivLog::PrintWarning(index, "w");
  KivLog::PrintInfo(index, "i");
  const std::string out = testing::internal::GetCapturedStdout();
  ASSERT_EQ(out.size(), 3 * 147u);
  EXPECT_EQ(out.substr(25, 3), "E e");
  EXPECT_EQ(out.substr(147 + 25, 3), "W w");
  EXPECT_EQ(out.substr(2 * 147 + 25, 3), "I i");
}

TEST_F(KivLogTest, NameIsPaddedAndTextCutToTheirFields) {
  const int index = Start("abc");
  const std::string long_text = std::string(100, 'x') + std::string(100, 'y');
  const std::string huge_text(400, 'z');  // longer than the 256-byte message buffer
  testing::internal::CaptureStdout();
  KivLog::Log(kError, index, "%s", long_text.c_str());
  const std::string out = testing::internal::GetCapturedStdout();
  KivLog::SetMaxSize(1);
  KivLog::Log(kError, index, "%s", huge_text.c_str());

  const std::string file = kivtest::ReadWholeFile(LogPath());
  ASSERT_EQ(file.size(), 5 * kRecord);
  const std::string line = Record(file, 3);
  EXPECT_EQ(line.substr(11, 16), " abc          E ");
  EXPECT_EQ(line.substr(27, 119), long_text.substr(0, 119));
  EXPECT_EQ(line.substr(146), std::string("\n\0", 2));
  EXPECT_EQ(out, line.substr(0, 147));
  EXPECT_EQ(Record(file, 4).substr(27), std::string(119, 'z') + std::string("\n\0", 2));
}

TEST_F(KivLogTest, RotationMovesIntoFreeSlotsAndNeverOverwrites) {
  const fs::path dir = prefix_.TempDir();
  kivtest::WriteWholeFile(dir / "KIV.log", "current");
  kivtest::WriteWholeFile(dir / "OldKIV.log", "old1");
  kivtest::WriteWholeFile(dir / "OldKIV3.log", "old3");
  kivtest::WriteWholeFile(dir / "OldKIV5.log", "old5");
  const int index = Start();
  testing::internal::CaptureStdout();
  KivLog::Log(kError, index, "first");
  KivLog::Log(kError, index, "second");  // no second rotation
  testing::internal::GetCapturedStdout();

  EXPECT_EQ(kivtest::ReadWholeFile(dir / "OldKIV5.log"), "old5");
  EXPECT_EQ(kivtest::ReadWholeFile(dir / "OldKIV4.log"), "old3");
  EXPECT_FALSE(fs::exists(dir / "OldKIV3.log"));
  EXPECT_EQ(kivtest::ReadWholeFile(dir / "OldKIV2.log"), "old1");
  EXPECT_EQ(kivtest::ReadWholeFile(dir / "OldKIV.log"), "current");
  EXPECT_EQ(kivtest::ReadWholeFile(LogPath()).size(), 4 * kRecord);
}

TEST_F(KivLogTest, AfterInitAloneOnlyTheFirstLineReachesTheFile) {
  KivLog::Log(kError, 0, "before init");  // nothing anywhere
  EXPECT_FALSE(fs::exists(LogPath()));

  const int index = Start();
  EXPECT_EQ(KivLog::GetStatusFlags(), 0u);
  KivLog::SetStatusFlags(0x6);
  EXPECT_EQ(KivLog::GetStatusFlags(), 0x6u);
  KivLog::SetStatusFlags(0x2);  // bit 0x4 follows the flag, bit 0x2 stays
  EXPECT_EQ(KivLog::GetStatusFlags(), 0x2u);

  testing::internal::CaptureStdout();
  KivLog::Log(kError, index, "one");
  EXPECT_EQ(KivLog::GetStatusFlags(), 0x2u);
  KivLog::Log(kError, index, "two");
  KivLog::Log(kError, index, "three");
  const std::string out = testing::internal::GetCapturedStdout();

  EXPECT_EQ(out.size(), 3 * 147u);  // standard output goes on
  const std::string file = kivtest::ReadWholeFile(LogPath());
  ASSERT_EQ(file.size(), 4 * kRecord);
  EXPECT_EQ(Record(file, 3).substr(27, 3), "one");
  EXPECT_EQ(KivLog::GetStatusFlags(), 0u);
}

TEST_F(KivLogTest, MaxSizeIsComputedIn32Bits) {
  const int index = Start();
  KivLog::SetMaxSize(5000);  // 5000 * 1,048,576 mod 2^32 = 947,912,704
  KivLog::SetMaxSize(0);     // leaves the limit as it is
  testing::internal::CaptureStdout();
  KivLog::Log(kError, index, "header");
  // A (sparse) file exactly at the limit still takes a line; once over it, no more.
  fs::resize_file(LogPath(), 947'912'704u);
  KivLog::Log(kError, index, "at the limit");
  EXPECT_EQ(fs::file_size(LogPath()), 947'912'704u + kRecord);
  KivLog::Log(kError, index, "over the limit");
  testing::internal::GetCapturedStdout();
  EXPECT_EQ(fs::file_size(LogPath()), 947'912'704u + kRecord);
}

TEST(KivLogFolderTest, MissingFolderSendsLinesToStdoutUntilItExists) {
  KivLog::ResetForTest();
  kivtest::ScopedPrefix prefix(/*make_temp_dir=*/false);
  const int index = KivLog::RegisterModule("KIVTSP");
  KivLog::Init(0);
  KivLog::SetMaxSize(1);

  testing::internal::CaptureStdout();
  KivLog::Log(kError, index, "lost");
  EXPECT_EQ(testing::internal::GetCapturedStdout().substr(27, 4), "lost");
  EXPECT_FALSE(fs::exists(prefix.TempDir()));  // not created by the facility

  fs::create_directories(prefix.TempDir());
  kivtest::WriteWholeFile(prefix.TempDir() / "KIV.log", "earlier run");
  testing::internal::CaptureStdout();
  KivLog::Log(kError, index, "kept");
  testing::internal::GetCapturedStdout();
  EXPECT_EQ(kivtest::ReadWholeFile(prefix.TempDir() / "OldKIV.log"), "earlier run");  // rotation tried again
  const std::string file = kivtest::ReadWholeFile(prefix.TempDir() / "KIV.log");
  ASSERT_EQ(file.size(), 4 * kRecord);
  EXPECT_EQ(Record(file, 0).substr(0, 29), "KIV LOGGING FACILITY LOG FILE");
  EXPECT_EQ(Record(file, 3).substr(27, 4), "kept");
  KivLog::ResetForTest();
}

TEST_F(KivLogTest, ModuleTable) {
  KivLog::SetMaxSize(1);
  EXPECT_EQ(KivLog::RegisterModule(nullptr), -1);
  for (int i = 0; i < KivLog::KIV_MAX_MODULES; ++i) {
    ASSERT_EQ(KivLog::RegisterModule(i % 2 == 0 ? "even" : "odd"), i);
  }
  EXPECT_EQ(KivLog::RegisterModule("full"), -1);
  EXPECT_EQ(KivLog::GetModuleCount(), KivLog::KIV_MAX_MODULES);

  KivLog::SetModuleMask("odd", 0x30);  // the first slot of that name only
  EXPECT_EQ(KivLog::GetModuleMask(1), 0x30u);
  EXPECT_EQ(KivLog::GetModuleMask(3), 0u);
  KivLog::UnregisterModule("odd");
  EXPECT_EQ(KivLog::GetModuleName(1), nullptr);
  EXPECT_EQ(KivLog::GetModuleMask(1), 0u);
  EXPECT_STREQ(KivLog::GetModuleName(3), "odd");
  EXPECT_EQ(KivLog::GetModuleCount(), KivLog::KIV_MAX_MODULES);  // never decremented
  for (const int bad : {-1, KivLog::KIV_MAX_MODULES, -7}) {
    EXPECT_EQ(KivLog::GetModuleName(bad), nullptr);
    EXPECT_EQ(KivLog::GetModuleMask(bad), 0u);
  }

  // An unregistered slot still reports errors, with a blank name.
  KivLog::Init(0);
  testing::internal::CaptureStdout();
  KivLog::PrintError(1, "gone");
  EXPECT_EQ(testing::internal::GetCapturedStdout().substr(11, 20), std::string(14, ' ') + "E gone");
}

TEST_F(KivLogTest, ThreadsWriteWholeRecords) {
  const int index = Start();
  KivLog::SetMaxSize(1);
  constexpr int kThreads = 4;
  constexpr int kLines = 50;
  testing::internal::CaptureStdout();
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([t, index] {
      for (int i = 0; i < kLines; ++i) KivLog::Log(kError, index, "thread %d line %d", t, i);
    });
  }
  for (std::thread& thread : threads) thread.join();
  const std::string out = testing::internal::GetCapturedStdout();

  const std::string file = kivtest::ReadWholeFile(LogPath());
  ASSERT_EQ(file.size(), (3 + kThreads * kLines) * kRecord);
  ASSERT_EQ(out.size(), kThreads * kLines * 147u);
  std::set<std::string> seen;
  for (std::size_t r = 3; r < file.size() / kRecord; ++r) {
    const std::string line = Record(file, r);
    EXPECT_EQ(line.substr(11, 16), " KIVTSP       E ");
    EXPECT_EQ(line.substr(146), std::string("\n\0", 2));
    seen.insert(line.substr(27, 119));
    EXPECT_EQ(out.substr((r - 3) * 147, 147), line.substr(0, 147));
  }
  EXPECT_EQ(seen.size(), static_cast<std::size_t>(kThreads * kLines));
}

}  // namespace
