// The argument rules of the debugger's commands: line numbers, request ids and the extension
// given on the command line. Pure functions of their arguments; callable from any thread.
#pragma once

#include "arglist.h"
#include "plat/types.h"

// A typed line number n (1 to 3) is the line appearance n + kSalBase.
inline constexpr LONG kSalBase = 64;
inline constexpr int kMaxLineNumber = 3;

enum class ArgCheck {
  kOk,
  kUsage,    // wrong number of arguments, or a number that is not plain decimal digits
  kBadLine,  // a line number outside 1 to kMaxLineNumber
};

// [line]: no argument means line 1. On kOk lSAL is the line appearance.
ArgCheck GetOptionalLine(const ArgList& args, LONG& lSAL);
// [request id]: no argument means lDefault; the id is taken as typed.
ArgCheck GetOptionalReqId(const ArgList& args, LONG lDefault, LONG& lReqId);
// line text: exactly two arguments. On kOk pszText points into args.
ArgCheck GetLineAndText(const ArgList& args, LONG& lSAL, const char*& pszText);
// Exactly nCount arguments, each a plain decimal number; the values go to pnValues.
bool GetInts(const ArgList& args, int nCount, int* pnValues);

// An extension must start with a positive decimal number (leading blanks and a plus sign are
// allowed before it, as C's atoi reads numbers); what follows the digits does not matter.
bool IsValidExtension(const char* pszExtension);
