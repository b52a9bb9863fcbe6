#include "CvnDebugReader.h"

#include <cctype>

namespace {

bool IsDelimiter(char ch) { return ch == ' ' || ch == '\t' || ch == '\n'; }

// Returns the next token of strLine at or after nPos and moves nPos past it; empty at the end.
std::string_view NextToken(std::string_view strLine, std::size_t& nPos) {
  while (nPos < strLine.size() && IsDelimiter(strLine[nPos])) ++nPos;
  const std::size_t nStart = nPos;
  while (nPos < strLine.size() && !IsDelimiter(strLine[nPos])) ++nPos;
  return strLine.substr(nStart, nPos - nStart);
}

}  // namespace

bool ReadLine(std::FILE* pFile, std::size_t cbBuffer, std::string& strLine) {
  strLine.clear();
  const std::size_t cchMax = cbBuffer > 0 ? cbBuffer - 1 : 0;
  int ch = EOF;
  while (strLine.size() < cchMax) {
    ch = std::fgetc(pFile);
    if (ch == EOF) return !strLine.empty();
    if (ch == '\n') return true;
    strLine.push_back(static_cast<char>(ch));
  }
  // The buffer is full: drop the rest of the line.
  do {
    ch = std::fgetc(pFile);
  } while (ch != EOF && ch != '\n');
  return true;
}

bool SplitCommandLine(std::string_view strLine, std::string& strWord, ArgList& args) {
  strWord.clear();
  args.Clear();
  std::size_t nPos = 0;
  const std::string_view word = NextToken(strLine, nPos);
  if (word.empty()) return false;
  for (const char ch : word.substr(0, kMaxWordLength)) {
    strWord.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(ch))));
  }
  std::string strArg;
  for (std::string_view arg = NextToken(strLine, nPos);
       !arg.empty() && args.Count() < ArgList::kMaxArgs; arg = NextToken(strLine, nPos)) {
    strArg.assign(arg);
    args.Add(strArg.c_str());
  }
  return true;
}
