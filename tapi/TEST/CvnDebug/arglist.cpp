#include "arglist.h"

#include <cassert>
#include <climits>
#include <cstring>

int ArgList::Add(const char* pszArg) {
  assert(pszArg != nullptr);
  if (pszArg == nullptr || m_nCount >= kMaxArgs) return m_nCount;
  const std::size_t cch = std::strlen(pszArg);
  auto pszCopy = std::make_unique<char[]>(cch + 1);
  std::memcpy(pszCopy.get(), pszArg, cch + 1);
  m_Args[static_cast<std::size_t>(m_nCount)] = std::move(pszCopy);
  return ++m_nCount;
}

bool ArgList::GetInt(int nIndex, int& nValue) const {
  const char* pszArg = nullptr;
  if (!GetString(nIndex, pszArg) || *pszArg == '\0') return false;
  long long llValue = 0;
  for (const char* p = pszArg; *p != '\0'; ++p) {
    if (*p < '0' || *p > '9') return false;
    llValue = llValue * 10 + (*p - '0');
    if (llValue > INT_MAX) return false;
  }
  nValue = static_cast<int>(llValue);
  return true;
}

bool ArgList::GetString(int nIndex, const char*& pszArg) const {
  if (nIndex < 0 || nIndex >= m_nCount) return false;
  pszArg = m_Args[static_cast<std::size_t>(nIndex)].get();
  return true;
}

void ArgList::Clear() {
  for (int i = 0; i < m_nCount; ++i) m_Args[static_cast<std::size_t>(i)].reset();
  m_nCount = 0;
}
