#include "CvnDebugArgCheck.h"

#include <cctype>

namespace {

ArgCheck LineToSal(const ArgList& args, int nIndex, LONG& lSAL) {
  int nLine = 0;
  if (!args.GetInt(nIndex, nLine)) return ArgCheck::kUsage;
  if (nLine < 1 || nLine > kMaxLineNumber) return ArgCheck::kBadLine;
  lSAL = nLine + kSalBase;
  return ArgCheck::kOk;
}

}  // namespace

ArgCheck GetOptionalLine(const ArgList& args, LONG& lSAL) {
  if (args.Count() == 0) {
    lSAL = 1 + kSalBase;
    return ArgCheck::kOk;
  }
  if (args.Count() != 1) return ArgCheck::kUsage;
  return LineToSal(args, 0, lSAL);
}

ArgCheck GetOptionalReqId(const ArgList& args, LONG lDefault, LONG& lReqId) {
  if (args.Count() == 0) {
    lReqId = lDefault;
    return ArgCheck::kOk;
  }
  int nReqId = 0;
  if (args.Count() != 1 || !args.GetInt(0, nReqId)) return ArgCheck::kUsage;
  lReqId = nReqId;
  return ArgCheck::kOk;
}

ArgCheck GetLineAndText(const ArgList& args, LONG& lSAL, const char*& pszText) {
  if (args.Count() != 2) return ArgCheck::kUsage;
  const ArgCheck check = LineToSal(args, 0, lSAL);
  if (check == ArgCheck::kOk) args.GetString(1, pszText);
  return check;
}

bool GetInts(const ArgList& args, int nCount, int* pnValues) {
  if (args.Count() != nCount) return false;
  for (int i = 0; i < nCount; ++i) {
    if (!args.GetInt(i, pnValues[i])) return false;
  }
  return true;
}

bool IsValidExtension(const char* pszExtension) {
  const char* p = pszExtension;
  while (std::isspace(static_cast<unsigned char>(*p))) ++p;
  if (*p == '+') ++p;
  bool bPositive = false;
  for (; *p >= '0' && *p <= '9'; ++p) bPositive = bPositive || *p != '0';
  return bPositive;
}
