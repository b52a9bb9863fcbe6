// The logging facility. One mutex guards the module table, the flags and the file, so the
// gate sees a consistent state and every report is written whole. Module names are copied
// once and kept for the life of the process, so a name handed out stays valid.
#include "KivLog.h"

#include <algorithm>
#include <array>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <memory>
#include <mutex>
#include <new>
#include <string>

#include "KivLogTesting.h"
#include "plat/files.h"

namespace KivLog {
namespace {

constexpr std::size_t KIV_RECORD_SIZE = 148;
constexpr std::size_t KIV_MESSAGE_SIZE = 256;
constexpr DWORD KIV_INITIAL_MAX_SIZE = 5;  // bytes
constexpr DWORD KIV_STATUS_FILE_ON = 0x2;
constexpr DWORD KIV_STATUS_EXTRA = 0x4;

constexpr const char* KIV_RELEASE = "1.0.0";
constexpr const char* KIV_BUILD_DATE = __DATE__;

constexpr const char* KIV_LOG_FILE = "C:\\temp\\KIV.log";
// Renamed in this order when a log starts; a rename onto an existing file fails.
constexpr std::array<std::array<const char*, 2>, 5> KIV_ROTATION = {{
    {"C:\\temp\\OldKIV4.log", "C:\\temp\\OldKIV5.log"},
    {"C:\\temp\\OldKIV3.log", "C:\\temp\\OldKIV4.log"},
    {"C:\\temp\\OldKIV2.log", "C:\\temp\\OldKIV3.log"},
    {"C:\\temp\\OldKIV.log", "C:\\temp\\OldKIV2.log"},
    {"C:\\temp\\KIV.log", "C:\\temp\\OldKIV.log"},
}};

using KivRecord = std::array<char, KIV_RECORD_SIZE>;

// State below is protected by g_Mutex.
std::mutex g_Mutex;
bool g_bInitialised = false;
int g_nModuleCount = 0;
const char* g_pModuleNames[KIV_MAX_MODULES];       // null once unregistered
std::unique_ptr<char[]> g_pNameCopies[KIV_MAX_MODULES];  // owns every copy ever made
DWORD g_dwModuleMasks[KIV_MAX_MODULES];
DWORD g_dwOutputFlags = 0;
DWORD g_dwStatusFlags = 0;
DWORD g_dwMaxFileSize = KIV_INITIAL_MAX_SIZE;
bool g_bFirstWritePending = true;

bool ValidIndex(int index) { return index >= 0 && index < g_nModuleCount; }

int FindModule(const char* name) {
  if (name == nullptr) return -1;
  for (int i = 0; i < g_nModuleCount; ++i) {
    if (g_pModuleNames[i] != nullptr && std::strcmp(g_pModuleNames[i], name) == 0) return i;
  }
  return -1;
}

void SetStatusFlagsLocked(DWORD flags) {
  if ((flags & KIV_STATUS_FILE_ON) != 0) g_dwStatusFlags |= KIV_STATUS_FILE_ON;
  if ((flags & KIV_STATUS_EXTRA) != 0) {
    g_dwStatusFlags |= KIV_STATUS_EXTRA;
  } else {
    g_dwStatusFlags &= ~KIV_STATUS_EXTRA;
  }
}

// Whether a report passes; the first rule that applies decides.
bool Gate(DWORD cls, int index, const char* format) {
  if (!g_bInitialised || format == nullptr) return false;
  if (!ValidIndex(index)) return false;
  if (format[0] == '\0') return false;
  if ((cls & KIV_CLASS_ERROR) != 0) return true;
  if ((cls & KIV_CLASS_WARNING) != 0 && (g_dwOutputFlags & KIV_OUT_WARNING) != 0) return true;
  if ((cls & KIV_CLASS_EXTRA) != 0 && (g_dwOutputFlags & KIV_OUT_EXTRA) != 0) return true;
  if ((g_dwOutputFlags & KIV_OUT_BY_MASK) == 0) return false;
  return (cls & g_dwModuleMasks[index]) != 0;
}

const char* Label(DWORD cls) {
  switch (cls) {
    case KIV_CLASS_ERROR: return "E";
    case KIV_CLASS_WARNING: return "W";
    case KIV_CLASS_EXTRA: return "Q";
    default: return "I";
  }
}

// Local time as month, day, ':', hour, minute, second: "MMDD:hhmmss".
std::string TimeStamp() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char text[32];
  std::snprintf(text, sizeof(text), "%02d%02d:%02d%02d%02d", local.tm_mon + 1, local.tm_mday, local.tm_hour,
                local.tm_min, local.tm_sec);
  return text;
}

// text, cut or padded with blanks to width characters, followed by tail.
KivRecord MakeRecord(const std::string& text, std::size_t width, const char* tail) {
  KivRecord record;
  record.fill(' ');
  std::memcpy(record.data(), text.data(), std::min(text.size(), width));
  std::memcpy(record.data() + width, tail, KIV_RECORD_SIZE - width);
  return record;
}

bool WriteRecord(HANDLE hFile, const KivRecord& record) {
  DWORD dwWritten = 0;
  return WriteFile(hFile, record.data(), KIV_RECORD_SIZE, &dwWritten, nullptr) != FALSE &&
         dwWritten == KIV_RECORD_SIZE;
}

// Rotates the old logs and opens a new KIV.log holding the three header records; null
// when the file cannot be made.
HANDLE StartLogFile() {
  for (const auto& move : KIV_ROTATION) MoveFileA(move[0], move[1]);
  HANDLE hFile = CreateFileA(KIV_LOG_FILE, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
  if (hFile == INVALID_HANDLE_VALUE) return nullptr;
  char version[KIV_MESSAGE_SIZE];
  std::snprintf(version, sizeof(version), "Software Version: %s, %s", KIV_RELEASE, KIV_BUILD_DATE);
  const KivRecord header[] = {
      MakeRecord("KIV LOGGING FACILITY LOG FILE", 146, "\n"),  // "\n" and its zero byte
      MakeRecord(version, 147, "\n"),
      MakeRecord(TimeStamp() + " Logfile Created\n", 147, "\n"),
  };
  for (const KivRecord& record : header) {
    if (!WriteRecord(hFile, record)) break;
  }
  return hFile;
}

// Opens KIV.log for appending; null when it is missing, too large or cannot be opened.
HANDLE OpenLogFile() {
  HANDLE hFile = CreateFileA(KIV_LOG_FILE, FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
  if (hFile == INVALID_HANDLE_VALUE) return nullptr;
  DWORD dwHigh = 0;
  const DWORD dwSize = GetFileSize(hFile, &dwHigh);
  if (dwSize == INVALID_FILE_SIZE && GetLastError() != ERROR_SUCCESS) {
    CloseHandle(hFile);
    return nullptr;
  }
  if (dwHigh != 0 || dwSize > g_dwMaxFileSize) {
    g_dwStatusFlags &= ~KIV_STATUS_FILE_ON;
    CloseHandle(hFile);
    return nullptr;
  }
  return hFile;
}

void AppendToFile(const KivRecord& line) {
  HANDLE hFile = nullptr;
  if (g_bFirstWritePending) {
    hFile = StartLogFile();
    if (hFile == nullptr) return;  // tried again at the next line
    g_bFirstWritePending = false;
  } else {
    hFile = OpenLogFile();
    if (hFile == nullptr) return;
  }
  WriteRecord(hFile, line);
  CloseHandle(hFile);
}

__attribute__((format(printf, 3, 0))) int Report(DWORD cls, int index, const char* format, va_list args,
                                                 bool bToFile) {
  std::lock_guard<std::mutex> lock(g_Mutex);
  if (!Gate(cls, index, format)) return 0;

  char message[KIV_MESSAGE_SIZE];
  std::vsnprintf(message, sizeof(message), format, args);
  const char* pName = g_pModuleNames[index] != nullptr ? g_pModuleNames[index] : "";
  char text[KIV_RECORD_SIZE];
  std::snprintf(text, sizeof(text), "%s %-12.12s %s %-119.119s\n", TimeStamp().c_str(), pName, Label(cls),
                message);

  std::fputs(text, stdout);
  std::fflush(stdout);
  if (bToFile) AppendToFile(MakeRecord(text, 147, ""));
  return 0;
}

}  // namespace

int Init(int /*n*/) {
  std::lock_guard<std::mutex> lock(g_Mutex);
  if (g_bInitialised) return 0;
  std::fill(std::begin(g_dwModuleMasks), std::end(g_dwModuleMasks), 0u);
  g_dwMaxFileSize = KIV_INITIAL_MAX_SIZE;
  g_dwOutputFlags = 0;
  SetStatusFlagsLocked(1);
  g_bInitialised = true;
  return 0;
}

int RegisterModule(const char* name) {
  if (name == nullptr) return -1;
  std::lock_guard<std::mutex> lock(g_Mutex);
  if (g_nModuleCount >= KIV_MAX_MODULES) return -1;
  const std::size_t nLength = std::strlen(name) + 1;
  std::unique_ptr<char[]> copy(new (std::nothrow) char[nLength]);
  if (!copy) return -1;
  std::memcpy(copy.get(), name, nLength);
  const int index = g_nModuleCount++;
  g_pModuleNames[index] = copy.get();
  g_pNameCopies[index] = std::move(copy);
  return index;
}

int UnregisterModule(const char* name) {
  std::lock_guard<std::mutex> lock(g_Mutex);
  const int index = FindModule(name);
  if (index >= 0) {
    g_pModuleNames[index] = nullptr;
    g_dwModuleMasks[index] = 0;
  }
  return 0;
}

int SetMaxSize(DWORD megabytes) {
  std::lock_guard<std::mutex> lock(g_Mutex);
  if (megabytes != 0) g_dwMaxFileSize = static_cast<DWORD>(megabytes * 1048576u);  // wraps in 32 bits
  return 0;
}

int SetStatusFlags(DWORD flags) {
  std::lock_guard<std::mutex> lock(g_Mutex);
  SetStatusFlagsLocked(flags);
  return 0;
}

DWORD GetStatusFlags() {
  std::lock_guard<std::mutex> lock(g_Mutex);
  return g_dwStatusFlags;
}

int SetOutputFlags(DWORD flags) {
  std::lock_guard<std::mutex> lock(g_Mutex);
  g_dwOutputFlags = flags;
  return 0;
}

DWORD GetOutputFlags() {
  std::lock_guard<std::mutex> lock(g_Mutex);
  return g_dwOutputFlags;
}

int SetModuleMask(const char* name, DWORD mask) {
  std::lock_guard<std::mutex> lock(g_Mutex);
  const int index = FindModule(name);
  if (index >= 0) g_dwModuleMasks[index] = mask;
  return 0;
}

DWORD GetModuleMask(int index) {
  std::lock_guard<std::mutex> lock(g_Mutex);
  return ValidIndex(index) ? g_dwModuleMasks[index] : 0;
}

const char* GetModuleName(int index) {
  std::lock_guard<std::mutex> lock(g_Mutex);
  return ValidIndex(index) ? g_pModuleNames[index] : nullptr;
}

int GetModuleCount() {
  std::lock_guard<std::mutex> lock(g_Mutex);
  return g_nModuleCount;
}

#define KIV_REPORT(cls, index, format, bToFile) \
  va_list args;                                 \
  va_start(args, format);                       \
  Report(cls, index, format, args, bToFile);    \
  va_end(args);                                 \
  return 0

int Print(DWORD cls, int index, const char* format, ...) { KIV_REPORT(cls, index, format, false); }
int Log(DWORD cls, int index, const char* format, ...) { KIV_REPORT(cls, index, format, true); }
int PrintError(int index, const char* format, ...) { KIV_REPORT(KIV_CLASS_ERROR, index, format, false); }
int PrintWarning(int index, const char* format, ...) { KIV_REPORT(KIV_CLASS_WARNING, index, format, false); }
int PrintInfo(int index, const char* format, ...) { KIV_REPORT(KIV_CLASS_INFO, index, format, false); }

void ResetForTest() {
  std::lock_guard<std::mutex> lock(g_Mutex);
  g_bInitialised = false;
  for (int i = 0; i < KIV_MAX_MODULES; ++i) {
    g_pModuleNames[i] = nullptr;
    g_pNameCopies[i].reset();
    g_dwModuleMasks[i] = 0;
  }
  g_nModuleCount = 0;
  g_dwOutputFlags = 0;
  g_dwStatusFlags = 0;
  g_dwMaxFileSize = KIV_INITIAL_MAX_SIZE;
  g_bFirstWritePending = true;
}

}  // namespace KivLog
