// Fuzz target: the debugger's line reader, command splitting, argument list and argument rules,
// and the command table run without an endpoint. The input is typed text: it is read line by
// line as the shell reads its console, each line is split, every argument is read back through
// the list and the argument rules, and the command runs. Commands that would create an
// endpoint or start the message handler thread are split and checked but not run; every other
// command only checks its arguments and reports the missing endpoint.
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "CvnDebugArgCheck.h"
#include "CvnDebugCommands.h"
#include "CvnDebugReader.h"
#include "CvnDebugState.h"
#include "arglist.h"
#include "fuzz_support.h"

namespace {

volatile long g_sink;

bool CreatesEndPointOrThread(CvnCommandHandler handler) {
  return handler == CmdCreateObj || handler == CmdConnect || handler == CmdAutoStart ||
         handler == CmdRegLoad;
}

bool AllDigits(const char* text) {
  if (*text == '\0') return false;
  for (; *text != '\0'; ++text) {
    if (!std::isdigit(static_cast<unsigned char>(*text))) return false;
  }
  return true;
}

void CheckArguments(const ArgList& args) {
  KIVFUZZ_CHECK(args.Count() >= 0 && args.Count() <= ArgList::kMaxArgs);
  const char* text = nullptr;
  int value = 0;
  KIVFUZZ_CHECK(!args.GetString(-1, text) && !args.GetString(args.Count(), text));
  KIVFUZZ_CHECK(!args.GetInt(-1, value) && !args.GetInt(args.Count(), value));
  for (int i = 0; i < args.Count(); ++i) {
    // A token is never empty, but one that starts with a zero byte is stored as empty text.
    KIVFUZZ_CHECK(args.GetString(i, text) && text != nullptr);
    if (args.GetInt(i, value)) KIVFUZZ_CHECK(value >= 0 && AllDigits(text));
    g_sink = IsValidExtension(text);
  }
  LONG sal = 0;
  if (GetOptionalLine(args, sal) == ArgCheck::kOk) KIVFUZZ_CHECK(sal > kSalBase && sal <= kSalBase + kMaxLineNumber);
  LONG req_id = 0;
  g_sink = static_cast<long>(GetOptionalReqId(args, 7, req_id)) + req_id;
  const char* line_text = nullptr;
  if (GetLineAndText(args, sal, line_text) == ArgCheck::kOk) KIVFUZZ_CHECK(line_text != nullptr);
  int values[3] = {};
  for (int n = 0; n <= 3; ++n) g_sink = GetInts(args, n, values);
}

void RunLine(const std::string& line, ArgList& args) {
  std::string word;
  const bool has_word = SplitCommandLine(line, word, args);
  KIVFUZZ_CHECK(has_word || args.Count() == 0);
  if (!has_word) return;
  KIVFUZZ_CHECK(!word.empty() && word.size() <= kMaxWordLength);
  for (const char ch : word) KIVFUZZ_CHECK(std::tolower(static_cast<unsigned char>(ch)) == static_cast<unsigned char>(ch));
  CheckArguments(args);
  if (CreatesEndPointOrThread(FindCommand(word).pfnHandler)) return;
  RunCommandLine(line, args);
  KIVFUZZ_CHECK(g_spIEndPoint.IsNull());
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  kivfuzz::UsePrivatePrefix();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ArgList args;
  // The whole input as one line (line feeds are delimiters too).
  RunLine(std::string(reinterpret_cast<const char*>(data), size), args);
  // The input as console lines. fmemopen needs a non-empty buffer.
  if (size > 0) {
    std::string copy(reinterpret_cast<const char*>(data), size);
    std::FILE* file = ::fmemopen(copy.data(), copy.size(), "r");
    KIVFUZZ_CHECK(file != nullptr);
    std::string line;
    while (ReadLine(file, kCommandBufferSize, line)) {
      KIVFUZZ_CHECK(line.size() < kCommandBufferSize && line.find('\n') == std::string::npos);
      RunLine(line, args);
    }
    std::fclose(file);
  }
  // The flags that commands switch stay as a fresh debugger has them, so inputs replay alike.
  g_bTrace = false;
  g_bAutoDial = false;
  g_bAutoAnswer = false;
  return 0;
}
