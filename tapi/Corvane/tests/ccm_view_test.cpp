// Reading received messages through CCMView never goes past the received bytes: every truncated
// prefix of each kind of frame, and text arrays without a terminating zero. Each prefix sits in
// a heap buffer of exactly its size, so AddressSanitizer reports any read beyond it.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "CCMLayout.h"
#include "CCMPR.h"
#include "CCMView.h"

namespace {

using Bytes = std::vector<BYTE>;

struct FrameKind {
  const char* name;
  size_t size;
  std::vector<CCMWordField> words;
  std::vector<CCMDwordField> dwords;
  std::vector<CCMTextField> texts;
};

std::vector<FrameKind> Kinds() {
  namespace L = CCMLayout;
  const std::vector<CCMWordField> header = {L::Magic, L::Length, L::Type, L::Revision,
                                            L::SecurityCookie, L::Reserved};
  auto with = [&](std::vector<CCMWordField> extra) {
    std::vector<CCMWordField> all = header;
    all.insert(all.end(), extra.begin(), extra.end());
    return all;
  };
  std::vector<CCMWordField> pc_words(std::begin(L::PC::SettingWords), std::end(L::PC::SettingWords));
  std::vector<CCMWordField> pr_words(std::begin(L::PR::ReplyWords), std::end(L::PR::ReplyWords));
  pr_words.push_back(L::PR::Status);
  return {
      {"CCMAD", L::AD_SIZE, with({L::AD::Status}), {}, {L::Extension, L::AD::Password}},
      {"CCMCC", L::CC_SIZE, with({L::CC::LineNumber, L::CC::SecondNumber}), {L::CC::RequestId},
       {L::Extension, L::CC::Digits, L::CC::SecondText}},
      {"CCMCS", L::CS_SIZE,
       with({L::CS::FirstLineNum, L::CS::SecondLineNum, L::CS::CallReason, L::CS::DTMFDigit,
             L::CS::Status}),
       {L::CS::RequestId},
       {L::Extension, L::CS::FirstAddr, L::CS::CallerName, L::CS::DialedNum}},
      {"CCMPC", L::PC_SIZE, with(pc_words), {L::PC::Operations},
       {L::Extension, L::PC::Text1, L::PC::Text2}},
      {"CCMPR", L::PR_SIZE, with(pr_words), {L::PR::Operations},
       {L::Extension, L::PR::ReplyText1, L::PR::ReplyText2, L::PR::OwnerName}},
  };
}

// A complete frame of `size` bytes whose every byte is 'x' (so no text array is terminated),
// with a valid magic and Length.
Bytes UnterminatedFrame(size_t size) {
  Bytes frame(size, 'x');
  CCMLayout::WriteWord(frame.data() + CCMLayout::Magic.m_nOffset, CCMLayout::MAGIC);
  CCMLayout::WriteWord(frame.data() + CCMLayout::Length.m_nOffset, static_cast<WORD>(size));
  return frame;
}

TEST(CcmView, EveryTruncatedPrefixReadsOnlyWhatItHolds) {
  for (const FrameKind& kind : Kinds()) {
    const Bytes frame = UnterminatedFrame(kind.size);
    for (size_t length = 0; length <= kind.size; ++length) {
      SCOPED_TRACE(std::string(kind.name) + " prefix " + std::to_string(length));
      std::unique_ptr<BYTE[]> buffer(new BYTE[length]);
      std::memcpy(buffer.get(), frame.data(), length);
      const CCMView view(buffer.get(), length);
      EXPECT_EQ(view.GetReceivedLength(), length);
      for (const CCMWordField& field : kind.words) {
        WORD value = 1;
        EXPECT_EQ(view.GetWord(field, &value), field.End() <= length);
        if (field.End() > length) {
          EXPECT_EQ(value, 0u);
        }
      }
      for (const CCMDwordField& field : kind.dwords) {
        DWORD value = 1;
        EXPECT_EQ(view.GetDword(field, &value), field.End() <= length);
        if (field.End() > length) {
          EXPECT_EQ(value, 0u);
        }
      }
      for (const CCMTextField& field : kind.texts) {
        const bool held = field.End() <= length;
        // An unterminated array reads as its first N - 1 characters.
        const std::string expected = held ? std::string(field.m_nArraySize - 1, 'x') : "";
        std::string text = "stale";
        EXPECT_EQ(view.GetText(field, text), held);
        EXPECT_EQ(text, expected);
        std::vector<char> out(field.m_nArraySize, '?');
        EXPECT_EQ(view.GetText(field, out.data(), out.size()), held);
        EXPECT_EQ(std::string(out.data()), expected);
      }
    }
  }
}

TEST(CcmView, ReceivedLengthIsTheSmallerOfHeaderLengthAndBuffer) {
  struct Case {
    size_t buffer;
    WORD header_length;
    size_t received;
  };
  const Case cases[] = {{52, 52, 52}, {52, 40, 40}, {52, 2000, 52}, {52, 0, 0}, {3, 52, 3}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.header_length);
    Bytes frame = UnterminatedFrame(c.buffer < 4 ? 4 : c.buffer);
    CCMLayout::WriteWord(frame.data() + 2, c.header_length);
    std::unique_ptr<BYTE[]> buffer(new BYTE[c.buffer]);
    std::memcpy(buffer.get(), frame.data(), c.buffer);
    EXPECT_EQ(CCMView(buffer.get(), c.buffer).GetReceivedLength(), c.received);
  }
  EXPECT_EQ(CCMView(nullptr, 52).GetReceivedLength(), 0u);
}

// A text is read up to its zero, whatever its length word claims.
TEST(CcmView, TextStopsAtItsZeroNotAtItsLengthWord) {
  Bytes frame = UnterminatedFrame(CCMLayout::CS_SIZE);
  const CCMTextField field = CCMLayout::CS::CallerName;
  CCMLayout::WriteWord(frame.data() + field.m_nLengthOffset, 2);
  std::memcpy(frame.data() + field.ArrayOffset(), "Ann", 4);
  std::string text;
  ASSERT_TRUE(CCMView(frame.data(), frame.size()).GetText(field, text));
  EXPECT_EQ(text, "Ann");
  char small[3];
  CCMView(frame.data(), frame.size()).GetText(field, small, sizeof small);
  EXPECT_STREQ(small, "An");
}

// A received phone reply is tested in place; a reply too short for its operation set has none.
TEST(CcmView, ReceivedPhoneReplyOperationSet) {
  CCMPR reply;
  reply.SetQueryOperation(6);  // owner name
  for (size_t length : {size_t{36}, size_t{35}}) {
    std::unique_ptr<BYTE[]> buffer(new BYTE[length]);
    std::memcpy(buffer.get(), reply.GetBytes(), length);
    EXPECT_EQ(CCMPR::bIsItSet(CCMView(buffer.get(), length), 6), length == 36 ? 0x40u : 0u);
  }
}

}  // namespace
