// Owning holders for the COM resources the debugger handles: interface references (released
// on destruction, AddRef on copy) and BSTRs (freed on destruction), and narrow-text BSTRs.
// A holder is used by one thread at a time; copies may live on different threads.
#pragma once

#include <cstring>
#include <memory>
#include <utility>

#include "plat/oleauto.h"

template <class T>
class CvnComPtr {
 public:
  CvnComPtr() = default;
  // Takes over a reference the caller already holds (as returned by a creating call).
  static CvnComPtr Attach(T* p) {
    CvnComPtr sp;
    sp.m_p = p;
    return sp;
  }
  CvnComPtr(const CvnComPtr& other) : m_p(other.m_p) {
    if (m_p != nullptr) m_p->AddRef();
  }
  CvnComPtr(CvnComPtr&& other) noexcept : m_p(std::exchange(other.m_p, nullptr)) {}
  CvnComPtr& operator=(CvnComPtr other) noexcept {
    std::swap(m_p, other.m_p);
    return *this;
  }
  ~CvnComPtr() {
    if (m_p != nullptr) m_p->Release();
  }

  T* Get() const { return m_p; }
  T* operator->() const { return m_p; }
  explicit operator bool() const { return m_p != nullptr; }

 private:
  T* m_p = nullptr;
};

struct CvnBstrFree {
  void operator()(OLECHAR* bstr) const { SysFreeString(bstr); }
};
using CvnBstr = std::unique_ptr<OLECHAR, CvnBstrFree>;

// A BSTR holding the bytes of pszText (without its zero), as the narrow-text methods expect.
inline CvnBstr MakeNarrowBstr(const char* pszText) {
  return CvnBstr(SysAllocStringByteLen(pszText, static_cast<UINT>(std::strlen(pszText))));
}

// The bytes of a narrow-text BSTR as a C string; "" for a null BSTR.
inline const char* NarrowText(BSTR bstr) {
  return bstr != nullptr ? reinterpret_cast<const char*>(bstr) : "";
}
