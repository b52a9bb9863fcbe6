// The wire layout of the call-control messages: the one table of field offsets that the records
// (which build messages) and CCMView (which reads received ones) share, the record sizes, the
// bit of each phone operation, and the byte-order and text-field codec over a byte image.
// Constants and pure functions only; safe from any thread.
#pragma once

#include <cstddef>

#include "plat/types.h"

// A 16-bit or 32-bit integer field (network byte order on the wire).
struct CCMWordField {
  size_t m_nOffset;
  constexpr size_t End() const { return m_nOffset + 2; }
};
struct CCMDwordField {
  size_t m_nOffset;
  constexpr size_t End() const { return m_nOffset + 4; }
};
// A text field: a 16-bit length word directly followed by a character array of m_nArraySize
// bytes; a stored text holds at most m_nArraySize - 1 characters.
struct CCMTextField {
  size_t m_nLengthOffset;
  size_t m_nArraySize;
  constexpr size_t ArrayOffset() const { return m_nLengthOffset + 2; }
  constexpr size_t End() const { return ArrayOffset() + m_nArraySize; }
  constexpr CCMWordField LengthWord() const { return CCMWordField{m_nLengthOffset}; }
};

namespace CCMLayout {

inline constexpr WORD MAGIC = 0xB0B0;
inline constexpr WORD REVISION = 0x0101;
inline constexpr WORD RESERVED = 0xFFFF;

inline constexpr size_t HEADER_SIZE = 32;
inline constexpr size_t AD_SIZE = 52;
inline constexpr size_t CC_SIZE = 108;
inline constexpr size_t CS_SIZE = 148;
inline constexpr size_t PC_SIZE = 128;
inline constexpr size_t PR_SIZE = 176;
// The largest message the component accepts (its receive buffer).
inline constexpr size_t MAX_MSG_SIZE = 2048;

// Type codes: the high byte is the category.
inline constexpr WORD CATEGORY_MASK = 0xFF00;
inline constexpr WORD CATEGORY_AD = 0x0100;
inline constexpr WORD CATEGORY_CC = 0x0200;
inline constexpr WORD CATEGORY_CS = 0x0300;
inline constexpr WORD CATEGORY_PC = 0x0400;
inline constexpr WORD CATEGORY_PR = 0x0500;

// Header, common to every message.
inline constexpr CCMWordField Magic{0};
inline constexpr CCMWordField Length{2};
inline constexpr CCMWordField Type{4};
inline constexpr CCMWordField Revision{6};
inline constexpr CCMWordField SecurityCookie{8};
inline constexpr CCMWordField Reserved{10};
inline constexpr CCMTextField Extension{12, 18};

// Administrative body (CCMAD).
namespace AD {
inline constexpr CCMTextField Password{32, 16};
inline constexpr CCMWordField Status{50};
}  // namespace AD

// Call-control request body (CCMCC).
namespace CC {
inline constexpr CCMDwordField RequestId{32};
inline constexpr CCMWordField LineNumber{36};
inline constexpr CCMWordField SecondNumber{38};
inline constexpr CCMTextField Digits{40, 32};
inline constexpr CCMTextField SecondText{74, 32};
}  // namespace CC

// Call-status body (CCMCS).
namespace CS {
inline constexpr CCMDwordField RequestId{32};
inline constexpr CCMWordField FirstLineNum{36};
inline constexpr CCMWordField SecondLineNum{38};
inline constexpr CCMTextField FirstAddr{40, 32};
inline constexpr CCMTextField CallerName{74, 32};
inline constexpr CCMWordField CallReason{108};
inline constexpr CCMWordField DTMFDigit{110};
inline constexpr CCMWordField Status{112};
inline constexpr CCMTextField DialedNum{114, 32};
}  // namespace CS

// Phone query / configuration request body (CCMPC). SettingWords[n - 1] is setting word n.
namespace PC {
inline constexpr CCMDwordField Operations{32};
inline constexpr CCMWordField SettingWords[12] = {{36}, {38}, {40}, {42}, {44}, {46},
                                                  {48}, {50}, {86}, {88}, {90}, {92}};
inline constexpr CCMTextField Text1{52, 32};
inline constexpr CCMTextField Text2{94, 32};
}  // namespace PC

// Phone reply body (CCMPR). ReplyWords[n - 1] is reply word n.
namespace PR {
inline constexpr CCMDwordField Operations{32};
inline constexpr CCMWordField ReplyWords[18] = {{36}, {38}, {40}, {42}, {44}, {46},
                                                {48}, {50}, {52}, {54}, {56}, {58},
                                                {60}, {62}, {64}, {66}, {68}, {70}};
inline constexpr CCMTextField ReplyText1{72, 32};
inline constexpr CCMTextField ReplyText2{106, 32};
inline constexpr CCMTextField OwnerName{140, 32};
inline constexpr CCMWordField Status{174};
}  // namespace PR

static_assert(AD::Status.End() == AD_SIZE);
static_assert(CC::SecondText.End() == CC_SIZE);
static_assert(CS::DialedNum.End() == CS_SIZE);
static_assert(PC::Text2.End() == PC_SIZE && PC::Text1.End() == PC::SettingWords[8].m_nOffset);
static_assert(PR::Status.End() == PR_SIZE && PR::ReplyWords[17].End() == PR::ReplyText1.m_nLengthOffset);

// The size of the layout that a type code's category implies; 0 for an unknown category.
constexpr size_t LayoutSize(WORD wType) {
  switch (wType & CATEGORY_MASK) {
    case CATEGORY_AD: return AD_SIZE;
    case CATEGORY_CC: return CC_SIZE;
    case CATEGORY_CS: return CS_SIZE;
    case CATEGORY_PC: return PC_SIZE;
    case CATEGORY_PR: return PR_SIZE;
    default: return 0;
  }
}

// The bit of the operation set that a phone operation (CvnPhoneOperationE) stands for: values
// 0-7 (query items) are bits 0-7, values 8-17 (setting items) bits 16-25; 0 for any other value.
inline constexpr DWORD PHONE_OP_SET_ALL_QUERY = 18;
inline constexpr DWORD PHONE_OP_CLEAR_ALL = 19;
inline constexpr DWORD PHONE_OP_ALL_QUERY_BITS = 0x000000FF;
constexpr DWORD PhoneOperationBit(DWORD dwOp) {
  if (dwOp <= 7) return DWORD{1} << dwOp;
  if (dwOp <= 17) return DWORD{1} << (dwOp + 8);
  return 0;
}
// Set and clear on a host-order operation set: 0-17 add or remove their bit, eCvnSetAllQuery
// (set) makes the set exactly the eight query items, eCvnClearAll (clear) empties it. Any other
// value leaves the set unchanged and returns false.
constexpr bool AddPhoneOperation(DWORD& dwSet, DWORD dwOp) {
  if (const DWORD dwBit = PhoneOperationBit(dwOp)) {
    dwSet |= dwBit;
  } else if (dwOp == PHONE_OP_SET_ALL_QUERY) {
    dwSet = PHONE_OP_ALL_QUERY_BITS;
  } else {
    return false;
  }
  return true;
}
constexpr bool RemovePhoneOperation(DWORD& dwSet, DWORD dwOp) {
  if (const DWORD dwBit = PhoneOperationBit(dwOp)) {
    dwSet &= ~dwBit;
  } else if (dwOp == PHONE_OP_CLEAR_ALL) {
    dwSet = 0;
  } else {
    return false;
  }
  return true;
}

// Byte-order codec: big-endian on the wire whatever the host.
inline WORD ReadWord(const BYTE* p) { return static_cast<WORD>((p[0] << 8) | p[1]); }
inline void WriteWord(BYTE* p, WORD w) {
  p[0] = static_cast<BYTE>(w >> 8);
  p[1] = static_cast<BYTE>(w);
}
inline DWORD ReadDword(const BYTE* p) {
  return (static_cast<DWORD>(p[0]) << 24) | (static_cast<DWORD>(p[1]) << 16) |
         (static_cast<DWORD>(p[2]) << 8) | p[3];
}
inline void WriteDword(BYTE* p, DWORD dw) {
  WriteWord(p, static_cast<WORD>(dw >> 16));
  WriteWord(p + 2, static_cast<WORD>(dw));
}

// Stores a zero-terminated text (null counts as empty) into a text field of pImage: a text
// shorter than the array is copied with its zero and its length; a longer one is cut to
// m_nArraySize - 1 characters, the last array byte set to zero. Bytes after the zero stay as
// they were (zero in a fresh record).
void WriteText(BYTE* pImage, const CCMTextField& field, const char* pszText);

// The number of characters a text field of an image of cbImage bytes holds: the array up to its
// first zero and at most m_nArraySize - 1 characters (the length word is not trusted). A field
// that does not lie wholly within cbImage holds nothing (0).
size_t TextLength(const BYTE* pImage, size_t cbImage, const CCMTextField& field);

}  // namespace CCMLayout
