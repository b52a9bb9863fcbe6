// Interface identifiers and the GUID text functions.
#include <cstdio>

#include "guid_text.h"
#include "plat/com.h"

extern "C" {
const IID IID_IUnknown = {0x00000000, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const IID IID_IClassFactory = {0x00000001, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const IID IID_IDispatch = {0x00020400, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const IID IID_ITypeInfo = {0x00020401, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const IID IID_IConnectionPointContainer = {
    0xB196B284, 0xBAB4, 0x101A, {0xB6, 0x9C, 0x00, 0xAA, 0x00, 0x34, 0x1D, 0x07}};
const IID IID_IEnumConnectionPoints = {
    0xB196B285, 0xBAB4, 0x101A, {0xB6, 0x9C, 0x00, 0xAA, 0x00, 0x34, 0x1D, 0x07}};
const IID IID_IConnectionPoint = {
    0xB196B286, 0xBAB4, 0x101A, {0xB6, 0x9C, 0x00, 0xAA, 0x00, 0x34, 0x1D, 0x07}};
const IID IID_IEnumConnections = {
    0xB196B287, 0xBAB4, 0x101A, {0xB6, 0x9C, 0x00, 0xAA, 0x00, 0x34, 0x1D, 0x07}};
}

namespace plat {

std::string GuidToText(const GUID& guid) {
  char text[kGuidTextLength + 1];
  std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                static_cast<unsigned>(guid.Data1), static_cast<unsigned>(guid.Data2),
                static_cast<unsigned>(guid.Data3), guid.Data4[0], guid.Data4[1], guid.Data4[2],
                guid.Data4[3], guid.Data4[4], guid.Data4[5], guid.Data4[6], guid.Data4[7]);
  return text;
}

namespace {

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// Reads `digits` hexadecimal digits at text[*pos] and moves past them.
bool ReadHex(std::string_view text, std::size_t* pos, int digits, std::uint32_t* value) {
  std::uint32_t v = 0;
  for (int i = 0; i < digits; ++i) {
    const int d = HexValue(text[*pos + static_cast<std::size_t>(i)]);
    if (d < 0) return false;
    v = (v << 4) | static_cast<std::uint32_t>(d);
  }
  *pos += static_cast<std::size_t>(digits);
  *value = v;
  return true;
}

bool Expect(std::string_view text, std::size_t* pos, char c) {
  if (text[*pos] != c) return false;
  ++*pos;
  return true;
}

}  // namespace

bool ParseGuidText(std::string_view text, GUID* guid) {
  if (text.size() != kGuidTextLength) return false;
  GUID g{};
  std::size_t pos = 0;
  std::uint32_t v = 0;
  if (!Expect(text, &pos, '{') || !ReadHex(text, &pos, 8, &v)) return false;
  g.Data1 = v;
  if (!Expect(text, &pos, '-') || !ReadHex(text, &pos, 4, &v)) return false;
  g.Data2 = static_cast<WORD>(v);
  if (!Expect(text, &pos, '-') || !ReadHex(text, &pos, 4, &v)) return false;
  g.Data3 = static_cast<WORD>(v);
  if (!Expect(text, &pos, '-')) return false;
  for (int i = 0; i < 8; ++i) {
    if (i == 2 && !Expect(text, &pos, '-')) return false;
    if (!ReadHex(text, &pos, 2, &v)) return false;
    g.Data4[i] = static_cast<BYTE>(v);
  }
  if (!Expect(text, &pos, '}')) return false;
  *guid = g;
  return true;
}

}  // namespace plat

namespace {

// GUID text is ASCII, so the wide forms convert character by character. Returns false (and
// leaves *out short) for a character outside ASCII, which no GUID text holds.
bool NarrowAscii(LPCOLESTR wide, std::string* out) {
  for (; *wide != 0; ++wide) {
    if (*wide > 0x7F || out->size() > plat::kGuidTextLength) return false;
    out->push_back(static_cast<char>(*wide));
  }
  return true;
}

HRESULT AllocGuidText(REFGUID guid, LPOLESTR* lplpsz) {
  if (lplpsz == nullptr) return E_INVALIDARG;
  *lplpsz = static_cast<LPOLESTR>(CoTaskMemAlloc((plat::kGuidTextLength + 1) * sizeof(OLECHAR)));
  if (*lplpsz == nullptr) return E_OUTOFMEMORY;
  StringFromGUID2(guid, *lplpsz, static_cast<int>(plat::kGuidTextLength + 1));
  return S_OK;
}

bool ParseWide(LPCOLESTR lpsz, GUID* guid) {
  std::string text;
  return lpsz != nullptr && NarrowAscii(lpsz, &text) && plat::ParseGuidText(text, guid);
}

}  // namespace

extern "C" {

int StringFromGUID2(REFGUID rguid, LPOLESTR lpsz, int cchMax) {
  const int needed = static_cast<int>(plat::kGuidTextLength + 1);
  if (lpsz == nullptr || cchMax < needed) return 0;
  const std::string text = plat::GuidToText(rguid);
  for (std::size_t i = 0; i < text.size(); ++i) lpsz[i] = static_cast<OLECHAR>(text[i]);
  lpsz[text.size()] = 0;
  return needed;
}

HRESULT StringFromCLSID(REFCLSID rclsid, LPOLESTR* lplpsz) { return AllocGuidText(rclsid, lplpsz); }

HRESULT StringFromIID(REFIID rclsid, LPOLESTR* lplpsz) { return AllocGuidText(rclsid, lplpsz); }

HRESULT CLSIDFromString(LPCOLESTR lpsz, LPCLSID pclsid) {
  if (pclsid == nullptr) return E_INVALIDARG;
  if (ParseWide(lpsz, pclsid)) return NOERROR;
  *pclsid = GUID_NULL;
  return CO_E_CLASSSTRING;
}

HRESULT IIDFromString(LPCOLESTR lpsz, LPGUID lpiid) {
  if (lpiid == nullptr) return E_INVALIDARG;
  return ParseWide(lpsz, lpiid) ? S_OK : E_INVALIDARG;
}

}  // extern "C"
