// Wire images of the call-control records, byte for byte: one table of cases, each a record
// built by the code under test and the bytes the wire expects (a fresh image plus patches).
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "CCMAD.h"
#include "CCMCC.h"
#include "CCMCS.h"
#include "CCMPC.h"
#include "CCMPR.h"

namespace {

using Bytes = std::vector<BYTE>;

template <class Record>
Bytes WireImage(const Record& record) {
  return Bytes(record.GetBytes(), record.GetBytes() + record.GetLength());
}

// A fresh record of `size` bytes: magic, length, type 0, revision 0x0101, cookie 0, reserved
// 0xFFFF, no extension, zero body.
Bytes FreshImage(size_t size) {
  Bytes image(size, 0);
  const BYTE header[] = {0xB0, 0xB0, 0x00, static_cast<BYTE>(size), 0x00, 0x00,
                         0x01, 0x01, 0x00, 0x00, 0xFF, 0xFF};
  std::memcpy(image.data(), header, sizeof header);
  return image;
}

struct Patch {
  size_t offset;
  Bytes bytes;
};

Patch Text(size_t offset, const std::string& text) { return {offset, Bytes(text.begin(), text.end())}; }

struct WireCase {
  const char* name;
  std::function<Bytes()> build;
  size_t size;
  std::vector<Patch> patches;
};

const std::string k17 = "12345678901234567";
const std::string k15 = "ABCDEFGHIJKLMNO";
const std::string k31 = "0123456789,0123456789,012345678";

const std::vector<WireCase>& Cases() {
  static const std::vector<WireCase> cases = {
      {"fresh CCMAD", [] { return WireImage(CCMAD()); }, 52, {}},
      {"fresh CCMCC", [] { return WireImage(CCMCC()); }, 108, {}},
      {"fresh CCMCS", [] { return WireImage(CCMCS()); }, 148, {}},
      {"fresh CCMPC", [] { return WireImage(CCMPC()); }, 128, {}},
      {"fresh CCMPR", [] { return WireImage(CCMPR()); }, 176, {}},
      {"type and short extension",
       [] { CCMCC r; r.SetType(0x0201); r.SetExtension("1234"); return WireImage(r); }, 108,
       {{4, {0x02, 0x01}}, {12, {0x00, 0x04}}, Text(14, "1234")}},
      {"extension of 17 kept whole",
       [] { CCMAD r; r.SetExtension(k17.c_str()); return WireImage(r); }, 52,
       {{12, {0x00, 17}}, Text(14, k17)}},
      {"extension of 18 cut to 17",
       [] { CCMAD r; r.SetExtension((k17 + "8").c_str()); return WireImage(r); }, 52,
       {{12, {0x00, 17}}, Text(14, k17)}},
      {"extension of 20 cut to 17",
       [] { CCMAD r; r.SetExtension((k17 + "890").c_str()); return WireImage(r); }, 52,
       {{12, {0x00, 17}}, Text(14, k17)}},
      {"null extension is empty",
       [] { CCMAD r; r.SetExtension(nullptr); return WireImage(r); }, 52, {}},
      {"password of 15 kept whole",
       [] { CCMAD r; r.SetPassword(k15.c_str()); return WireImage(r); }, 52,
       {{32, {0x00, 15}}, Text(34, k15)}},
      {"password of 16 cut to 15",
       [] { CCMAD r; r.SetPassword((k15 + "P").c_str()); return WireImage(r); }, 52,
       {{32, {0x00, 15}}, Text(34, k15)}},
      {"digits of 31 kept whole",
       [] { CCMCC r; r.SetDigits(k31.c_str()); return WireImage(r); }, 108,
       {{40, {0x00, 31}}, Text(42, k31)}},
      {"digits of 32 cut to 31",
       [] { CCMCC r; r.SetDigits((k31 + "9").c_str()); return WireImage(r); }, 108,
       {{40, {0x00, 31}}, Text(42, k31)}},
      {"request id 1 and line number",
       [] { CCMCC r; r.SetRequestId(1); r.SetLineNumber(3); return WireImage(r); }, 108,
       {{32, {0x00, 0x00, 0x00, 0x01}}, {36, {0x00, 0x03}}}},
      {"administrative status",
       [] { CCMAD r; r.SetStatus(0xA1B2); return WireImage(r); }, 52, {{50, {0xA1, 0xB2}}}},
      {"call-status numbers",
       [] {
         CCMCS r;
         r.SetRequestId(0x01020304);
         r.SetFirstLineNum(0x0506);
         r.SetSecondLineNum(0x0708);
         r.SetCallReason(0x090A);
         r.SetDTMFDigit('#');
         r.SetStatus(0x0B0C);
         return WireImage(r);
       },
       148,
       {{32, {1, 2, 3, 4, 5, 6, 7, 8}}, {108, {0x09, 0x0A, 0x00, '#', 0x0B, 0x0C}}}},
      {"call-status texts",
       [] {
         CCMCS r;
         r.SetFirstAddr("2001");
         r.SetCallerName("Ann");
         r.SetDialedNum("9,555");
         return WireImage(r);
       },
       148,
       {{40, {0x00, 4}}, Text(42, "2001"), {74, {0x00, 3}}, Text(76, "Ann"), {114, {0x00, 5}},
        Text(116, "9,555")}},
      {"phone reply owner name and status",
       [] { CCMPR r; r.SetOwnerName("Bo Li"); r.SetStatus(7); return WireImage(r); }, 176,
       {{140, {0x00, 5}}, Text(142, "Bo Li"), {174, {0x00, 0x07}}}},
      {"phone request setting words",
       [] { CCMPC r; r.SetSettingWords2to5(2, 3, 4, 5); r.SetSettingWord(12, 0x0C0C); return WireImage(r); },
       128, {{38, {0, 2, 0, 3, 0, 4, 0, 5}}, {92, {0x0C, 0x0C}}}},
  };
  return cases;
}

TEST(CcmRecords, WireImagesAreByteExact) {
  for (const WireCase& c : Cases()) {
    SCOPED_TRACE(c.name);
    Bytes expected = FreshImage(c.size);
    for (const Patch& p : c.patches) {
      std::memcpy(expected.data() + p.offset, p.bytes.data(), p.bytes.size());
    }
    EXPECT_EQ(c.build(), expected);
  }
}

TEST(CcmRecords, WireSizesAreTheRecordSizes) {
  EXPECT_EQ(sizeof(CCMAD), 52u);
  EXPECT_EQ(sizeof(CCMCC), 108u);
  EXPECT_EQ(sizeof(CCMCS), 148u);
  EXPECT_EQ(CCMPC().GetLength(), 128u);
  EXPECT_EQ(CCMPR().GetLength(), 176u);
}

// Getters read back what setters stored, by the same text rule; 16-bit values zero-extended.
TEST(CcmRecords, GettersReadBackSetters) {
  CCMAD ad;
  ad.SetExtension((k17 + "890").c_str());
  ad.SetPassword((k15 + "P").c_str());
  char extension[18];
  char password[16];
  ad.GetExtension(extension);
  ad.GetPassword(password);
  EXPECT_EQ(extension, k17);
  EXPECT_EQ(password, k15);
  EXPECT_EQ(ad.GetExtensionLength(), 17u);
  EXPECT_EQ(ad.GetPasswordLength(), 15u);

  CCMCS cs;
  cs.SetCallerName("Ann");
  cs.SetStatus(0xFFFE);
  cs.SetRequestId(0xFEDCBA98);
  char name[32];
  cs.GetCallerName(name);
  EXPECT_STREQ(name, "Ann");
  EXPECT_EQ(cs.GetStatus(), 0xFFFEu);
  EXPECT_EQ(cs.GetRequestId(), 0xFEDCBA98u);
  EXPECT_EQ(cs.GetRevision(), 0x0101u);
  EXPECT_EQ(cs.GetReserved(), 0xFFFFu);
  EXPECT_EQ(cs.GetSecurityCookie(), 0u);
}

// A length word that claims more than the array holds does not make the getter read further.
TEST(CcmRecords, TextGetterIgnoresAnOversizedLengthWord) {
  CCMCC cc;
  cc.SetDigits("42");
  cc.SetDigitsLength(0xFFFF);
  char digits[32];
  cc.GetDigits(digits);
  EXPECT_STREQ(digits, "42");
}

}  // namespace
