// BSTRs: [4-byte byte count][characters][zero bytes]; the pointer handed out is the first
// character. Trailing zeros keep both the wide and (for byte-length strings) the narrow text
// terminated.
#include <cstdlib>
#include <cstring>
#include <limits>

#include "plat/oleauto.h"

namespace {

constexpr std::size_t kPrefixBytes = sizeof(DWORD);

// A string of byte_len bytes copied from src (zeros when src is null), followed by trailer
// zero bytes.
BSTR Allocate(const void* src, std::size_t byte_len, std::size_t trailer) {
  if (byte_len > std::numeric_limits<DWORD>::max()) return nullptr;
  auto* block = static_cast<unsigned char*>(std::calloc(1, kPrefixBytes + byte_len + trailer));
  if (block == nullptr) return nullptr;
  const auto prefix = static_cast<DWORD>(byte_len);
  std::memcpy(block, &prefix, kPrefixBytes);
  if (src != nullptr && byte_len > 0) std::memcpy(block + kPrefixBytes, src, byte_len);
  return reinterpret_cast<BSTR>(block + kPrefixBytes);
}

unsigned char* BlockOf(BSTR bstr) { return reinterpret_cast<unsigned char*>(bstr) - kPrefixBytes; }

std::size_t WideLength(const OLECHAR* psz) {
  std::size_t n = 0;
  while (psz[n] != 0) ++n;
  return n;
}

}  // namespace

extern "C" BSTR SysAllocString(const OLECHAR* psz) {
  if (psz == nullptr) return nullptr;
  return Allocate(psz, WideLength(psz) * sizeof(OLECHAR), sizeof(OLECHAR));
}

extern "C" BSTR SysAllocStringLen(const OLECHAR* strIn, UINT ui) {
  return Allocate(strIn, static_cast<std::size_t>(ui) * sizeof(OLECHAR), sizeof(OLECHAR));
}

extern "C" BSTR SysAllocStringByteLen(LPCSTR psz, UINT len) {
  // Three zeros: the narrow terminator at byte len and a whole wide terminator after the
  // last (possibly half) character when len is odd.
  return Allocate(psz, len, sizeof(OLECHAR) + 1);
}

extern "C" INT SysReAllocString(BSTR* pbstr, const OLECHAR* psz) {
  if (pbstr == nullptr) return FALSE;
  // Copy first: psz may point into the old string.
  BSTR copy = SysAllocString(psz);
  if (copy == nullptr && psz != nullptr) return FALSE;
  SysFreeString(*pbstr);
  *pbstr = copy;
  return TRUE;
}

extern "C" UINT SysStringByteLen(BSTR bstr) {
  if (bstr == nullptr) return 0;
  DWORD bytes = 0;
  std::memcpy(&bytes, BlockOf(bstr), kPrefixBytes);
  return bytes;
}

extern "C" UINT SysStringLen(BSTR pbstr) { return SysStringByteLen(pbstr) / sizeof(OLECHAR); }

extern "C" void SysFreeString(BSTR bstrString) {
  if (bstrString != nullptr) std::free(BlockOf(bstrString));
}
