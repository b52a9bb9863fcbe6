#include "CvnSocketReader.h"

#include <atomic>
#include <cassert>
#include <cstdlib>

#include "CCMMessage.h"
#include "CCMView.h"
#include "CvnEndPoint.h"
#include "KivLog.h"
#include "plat/registry.h"
#include "plat/sync.h"

namespace {

std::atomic<LONG> g_lReaderThreads{0};

constexpr const char* s_pszConfigKey = "Software\\KIV\\Corvane";

DWORD TraceProcessId() { return GetCurrentProcessId() & 0xFFFF; }
DWORD TraceThreadId() { return GetCurrentThreadId() & 0xFFFF; }

// A REG_SZ value read into a 32-byte buffer; false when it cannot be read.
bool QueryText(HKEY hKey, const char* pszName, std::string& strValue) {
  char szValue[33] = {};
  DWORD cbValue = 32;
  if (RegQueryValueExA(hKey, pszName, nullptr, nullptr, reinterpret_cast<BYTE*>(szValue),
                       &cbValue) != ERROR_SUCCESS) {
    return false;
  }
  strValue = szValue;
  return true;
}

}  // namespace

CvnSocketReader::~CvnSocketReader() {
  if (m_bRunning || m_hReaderThread != nullptr) {
    Stop(true);
  }
}

void CvnSocketReader::ReadConfiguration(std::string& strAddress, int& nPort) {
  strAddress.clear();
  nPort = s_nDefaultPort;
  HKEY hKey = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, s_pszConfigKey, 0, KEY_ALL_ACCESS, &hKey) !=
      ERROR_SUCCESS) {
    return;
  }
  QueryText(hKey, "ServerIPAddr", strAddress);
  if (std::string strPort; QueryText(hKey, "ServerPortId", strPort)) {
    nPort = std::atoi(strPort.c_str());
  }
  RegCloseKey(hKey);
}

LONG CvnSocketReader::GetReaderThreadCount() { return g_lReaderThreads.load(); }

HRESULT CvnSocketReader::Start() {
  std::lock_guard<std::mutex> lock(m_csConnection);
  if (!m_Socket.IsConnected()) {
    // A connection lost on either side may still have its reader and its socket.
    EndConnection();
    ReadConfiguration(m_strServerAddress, m_nServerPort);
    if (m_strServerAddress.empty() ||
        !m_Socket.Connect(m_strServerAddress.c_str(), m_nServerPort)) {
      return E_FAIL;
    }
  }
  if (m_bRunning) {
    return S_OK;
  }
  unsigned uThreadId = 0;
  ++g_lReaderThreads;
  m_hReaderThread = reinterpret_cast<HANDLE>(
      _beginthreadex(nullptr, 0, &CvnSocketReader::ReaderThreadProc, this, 0, &uThreadId));
  if (m_hReaderThread == nullptr) {
    --g_lReaderThreads;
    return E_FAIL;
  }
  m_dwReaderThreadId = uThreadId;
  m_bRunning = true;
  return S_OK;
}

HRESULT CvnSocketReader::Stop(bool bForce) {
  std::lock_guard<std::mutex> lock(m_csConnection);
  if (!bForce && HasRoutes()) {
    return S_OK;
  }
  EndConnection();
  return S_OK;
}

void CvnSocketReader::EndConnection() {
  // Shutting the socket down makes the reader's blocking receive return; the handle is closed
  // only after the reader has ended, so it never reads a descriptor that was reused.
  m_Socket.Shutdown();
  if (m_hReaderThread != nullptr) {
    assert(GetCurrentThreadId() != m_dwReaderThreadId);
    WaitForSingleObject(m_hReaderThread, INFINITE);
    CloseHandle(m_hReaderThread);
    m_hReaderThread = nullptr;
    m_dwReaderThreadId = 0;
  }
  m_Socket.Close();
  m_bRunning = false;
}

HRESULT CvnSocketReader::Send(const CCMMessage& msg) {
  std::lock_guard<std::mutex> lock(m_csConnection);
  if (!m_Socket.IsConnected()) {
    m_bRunning = false;
    return E_FAIL;
  }
  if (msg.send(m_Socket.GetHandle()) <= 0) {
    m_Socket.MarkLost();
    m_bRunning = false;
    return E_FAIL;
  }
  return S_OK;
}

void CvnSocketReader::AddRoute(const std::string& strExtension, CvnEndPoint* pEndPoint) {
  std::lock_guard<std::mutex> lock(m_csRoutes);
  m_Routes.emplace(strExtension, pEndPoint);
}

void CvnSocketReader::RemoveRoute(const std::string& strExtension) {
  std::lock_guard<std::mutex> lock(m_csRoutes);
  m_Routes.erase(strExtension);
}

void CvnSocketReader::RemoveRoutesTo(const CvnEndPoint* pEndPoint) {
  std::lock_guard<std::mutex> lock(m_csRoutes);
  std::erase_if(m_Routes, [pEndPoint](const auto& route) { return route.second == pEndPoint; });
}

bool CvnSocketReader::HasRoutes() {
  std::lock_guard<std::mutex> lock(m_csRoutes);
  return !m_Routes.empty();
}

unsigned __stdcall CvnSocketReader::ReaderThreadProc(void* pParam) {
  static_cast<CvnSocketReader*>(pParam)->ReadMessages();
  --g_lReaderThreads;
  return 0;
}

void CvnSocketReader::ReadMessages() {
  // One receive buffer for the thread's whole life: the largest message accepted.
  char szBuffer[CCMLayout::MAX_MSG_SIZE];
  const BYTE* pMessage = reinterpret_cast<const BYTE*>(szBuffer);
  for (;;) {
    if (m_Socket.Receive(szBuffer, 4) != 4) {
      break;
    }
    const WORD wLength = CCMLayout::ReadWord(pMessage + CCMLayout::Length.m_nOffset);
    if (wLength < CCMLayout::HEADER_SIZE || wLength > CCMLayout::MAX_MSG_SIZE) {
      // The stream cannot be framed any further.
      KivLog::PrintError(
          0,
          "CvnSocketReader: message length %u is out of range, closing the connection P%X T%X L%u",
          wLength, TraceProcessId(), TraceThreadId(), __LINE__);
      m_Socket.Shutdown();
      break;
    }
    const int nRest = wLength - 4;
    if (m_Socket.Receive(szBuffer + 4, nRest) != nRest) {
      break;
    }
    const WORD wType = CCMView(pMessage, wLength).GetType();
    if (wLength < CCMLayout::LayoutSize(wType)) {
      KivLog::PrintError(0,
                         "CvnSocketReader: message type %x of %u bytes is shorter than its layout, "
                         "dropped P%X T%X L%u",
                         wType, wLength, TraceProcessId(), TraceThreadId(), __LINE__);
      continue;
    }
    Deliver(pMessage, wLength);
  }
}

void CvnSocketReader::Deliver(const BYTE* pMessage, WORD wLength) {
  std::string strExtension;
  CCMView(pMessage, wLength).GetText(CCMLayout::Extension, strExtension);
  std::lock_guard<std::mutex> lock(m_csRoutes);
  if (const auto it = m_Routes.find(strExtension); it != m_Routes.end()) {
    it->second->OnNativeMsg(pMessage);
  }
}
