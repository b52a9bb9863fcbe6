// Windows-1252 and UTF-8 <-> UTF-16. Bytes 0x80-0x9F of Windows-1252 carry the characters of
// the table below; the five bytes without a character there stand for U+0081, U+008D, U+008F,
// U+0090 and U+009D, so every byte converts to UTF-16 and back unchanged.
#include <cstring>
#include <string>

#include "plat/text.h"

namespace {

constexpr char16_t k1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  // 0x80
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,  // 0x88
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 0x90
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,  // 0x98
};

bool IsHighSurrogate(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLowSurrogate(char16_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

// The Windows-1252 byte of c, or -1 when it has none.
int To1252(char16_t c) {
  if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return c;
  for (int i = 0; i < 32; ++i) {
    if (k1252High[i] == c) return 0x80 + i;
  }
  return -1;
}

void AppendUtf16(std::u16string& out, char32_t cp) {
  if (cp < 0x10000) {
    out.push_back(static_cast<char16_t>(cp));
  } else {
    cp -= 0x10000;
    out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
    out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
  }
}

// UTF-8 to UTF-16; a malformed sequence becomes U+FFFD.
std::u16string DecodeUtf8(const unsigned char* s, std::size_t n) {
  std::u16string out;
  std::size_t i = 0;
  while (i < n) {
    const unsigned char b = s[i];
    if (b < 0x80) {
      out.push_back(b);
      ++i;
      continue;
    }
    // The continuation bytes, the lead byte's bits and the smallest code point of that length.
    std::size_t extra = 0;
    char32_t cp = 0;
    char32_t min = 0;
    if (b >= 0xC2 && b <= 0xDF) {
      extra = 1;
      cp = b & 0x1F;
      min = 0x80;
    } else if (b >= 0xE0 && b <= 0xEF) {
      extra = 2;
      cp = b & 0x0F;
      min = 0x800;
    } else if (b >= 0xF0 && b <= 0xF4) {
      extra = 3;
      cp = b & 0x07;
      min = 0x10000;
    } else {
      out.push_back(0xFFFD);
      ++i;
      continue;
    }
    std::size_t k = 1;
    for (; k <= extra && i + k < n && (s[i + k] & 0xC0) == 0x80; ++k) cp = (cp << 6) | (s[i + k] & 0x3F);
    if (k <= extra || cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
      out.push_back(0xFFFD);
      i += k;  // skip the lead byte and the continuation bytes that were read
      continue;
    }
    AppendUtf16(out, cp);
    i += extra + 1;
  }
  return out;
}

void AppendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

bool Is1252(UINT code_page) { return code_page == CP_ACP || code_page == CP_1252; }

// Copies the converted text to the caller's buffer under the size-query rules of both calls.
template <typename Char>
int Deliver(const std::basic_string<Char>& text, Char* out, int out_len) {
  if (out_len == 0) return static_cast<int>(text.size());
  if (text.size() > static_cast<std::size_t>(out_len)) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  std::memcpy(out, text.data(), text.size() * sizeof(Char));
  return static_cast<int>(text.size());
}

}  // namespace

extern "C" int MultiByteToWideChar(UINT CodePage, DWORD /*dwFlags*/, LPCSTR lpMultiByteStr, int cbMultiByte,
                                   LPWSTR lpWideCharStr, int cchWideChar) {
  if (lpMultiByteStr == nullptr || cbMultiByte == 0 || cbMultiByte < -1 || cchWideChar < 0 ||
      (cchWideChar > 0 && lpWideCharStr == nullptr) || (!Is1252(CodePage) && CodePage != CP_UTF8)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  const std::size_t n = cbMultiByte == -1 ? std::strlen(lpMultiByteStr) + 1 : static_cast<std::size_t>(cbMultiByte);
  const auto* bytes = reinterpret_cast<const unsigned char*>(lpMultiByteStr);
  std::u16string wide;
  if (CodePage == CP_UTF8) {
    wide = DecodeUtf8(bytes, n);
  } else {
    wide.reserve(n);
    for (std::size_t i = 0; i < n; ++i) {
      const unsigned char b = bytes[i];
      wide.push_back(b >= 0x80 && b <= 0x9F ? k1252High[b - 0x80] : static_cast<char16_t>(b));
    }
  }
  return Deliver(wide, lpWideCharStr, cchWideChar);
}

extern "C" int WideCharToMultiByte(UINT CodePage, DWORD /*dwFlags*/, LPCWSTR lpWideCharStr, int cchWideChar,
                                   LPSTR lpMultiByteStr, int cbMultiByte, LPCSTR lpDefaultChar,
                                   BOOL* lpUsedDefaultChar) {
  const bool utf8 = CodePage == CP_UTF8;
  if (lpWideCharStr == nullptr || cchWideChar == 0 || cchWideChar < -1 || cbMultiByte < 0 ||
      (cbMultiByte > 0 && lpMultiByteStr == nullptr) || (!Is1252(CodePage) && !utf8) ||
      (utf8 && (lpDefaultChar != nullptr || lpUsedDefaultChar != nullptr))) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  std::size_t n = 0;
  if (cchWideChar == -1) {
    while (lpWideCharStr[n] != 0) ++n;
    ++n;
  } else {
    n = static_cast<std::size_t>(cchWideChar);
  }
  const char fallback = lpDefaultChar != nullptr ? *lpDefaultChar : '?';
  bool used_default = false;
  std::string narrow;
  narrow.reserve(n);
  for (std::size_t i = 0; i < n; ++i) {
    const char16_t c = lpWideCharStr[i];
    const bool pair = IsHighSurrogate(c) && i + 1 < n && IsLowSurrogate(lpWideCharStr[i + 1]);
    if (utf8) {
      if (pair) {
        AppendUtf8(narrow, 0x10000 + ((static_cast<char32_t>(c) - 0xD800) << 10) + (lpWideCharStr[i + 1] - 0xDC00));
        ++i;
      } else {
        AppendUtf8(narrow, IsHighSurrogate(c) || IsLowSurrogate(c) ? 0xFFFD : c);
      }
      continue;
    }
    const int b = To1252(c);
    if (b >= 0) {
      narrow.push_back(static_cast<char>(b));
    } else {
      narrow.push_back(fallback);  // a surrogate pair is one character: one fallback
      used_default = true;
      if (pair) ++i;
    }
  }
  if (lpUsedDefaultChar != nullptr) *lpUsedDefaultChar = used_default ? TRUE : FALSE;
  return Deliver(narrow, lpMultiByteStr, cbMultiByte);
}
