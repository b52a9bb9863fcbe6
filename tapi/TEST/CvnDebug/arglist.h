// ArgList: the arguments that follow the command word on one typed line.
// Holds at most kMaxArgs heap copies of the argument texts; further Add calls are ignored.
// Owned and used by the command loop's thread only; not thread-safe.
#pragma once

#include <array>
#include <memory>

class ArgList {
 public:
  static constexpr int kMaxArgs = 100;

  ArgList() = default;
  ~ArgList() = default;
  ArgList(const ArgList&) = delete;
  ArgList& operator=(const ArgList&) = delete;

  // Stores a copy of pszArg at the next position; returns the new count (unchanged when the
  // list is full).
  int Add(const char* pszArg);
  int Count() const { return m_nCount; }
  // True with the value when the argument exists and consists of decimal digits only (no sign)
  // and fits in an int.
  bool GetInt(int nIndex, int& nValue) const;
  // True with the stored text (still owned by the list) when the argument exists.
  bool GetString(int nIndex, const char*& pszArg) const;
  void Clear();

 private:
  std::array<std::unique_ptr<char[]>, kMaxArgs> m_Args;
  int m_nCount = 0;
};
