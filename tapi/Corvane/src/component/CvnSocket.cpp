#include "CvnSocket.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <mutex>

namespace {

// Winsock is started by the first socket object of the process and cleaned up by the last.
std::mutex g_csWinsock;
int g_nSocketObjects = 0;

// The server address: "%d.%d.%d.%d" when the text starts with a digit (each number reduced to
// its low 8 bits), otherwise the first address the name resolves to; 0.0.0.0 when neither works.
in_addr ResolveHost(const char* pszHost) {
  in_addr addr{};
  if (std::isdigit(static_cast<unsigned char>(pszHost[0]))) {
    int a = 0, b = 0, c = 0, d = 0;
    std::sscanf(pszHost, "%d.%d.%d.%d", &a, &b, &c, &d);
    const unsigned char bytes[4] = {static_cast<unsigned char>(a), static_cast<unsigned char>(b),
                                    static_cast<unsigned char>(c), static_cast<unsigned char>(d)};
    std::memcpy(&addr.s_addr, bytes, sizeof bytes);
  } else if (const hostent* pHost = gethostbyname(pszHost);
             pHost != nullptr && pHost->h_addr_list[0] != nullptr) {
    std::memcpy(&addr.s_addr, pHost->h_addr_list[0], sizeof addr.s_addr);
  }
  return addr;
}

}  // namespace

CvnSocket::CvnSocket() {
  std::lock_guard<std::mutex> lock(g_csWinsock);
  if (g_nSocketObjects++ == 0) {
    WSADATA wsaData;
    WSAStartup(MAKEWORD(2, 0), &wsaData);
  }
}

CvnSocket::~CvnSocket() {
  Close();
  std::lock_guard<std::mutex> lock(g_csWinsock);
  if (--g_nSocketObjects == 0) {
    WSACleanup();
  }
}

bool CvnSocket::Connect(const char* pszHost, int nPort) {
  if (m_bConnected.load()) {
    return true;
  }
  const SOCKET hSocket = socket(AF_INET, SOCK_STREAM, 0);
  if (hSocket == INVALID_SOCKET) {
    return false;
  }
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr = ResolveHost(pszHost);
  addr.sin_port = htons(static_cast<USHORT>(nPort));
  if (connect(hSocket, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) == SOCKET_ERROR) {
    closesocket(hSocket);
    return false;
  }
  m_hSocket = hSocket;
  m_bConnected.store(true);
  return true;
}

bool CvnSocket::Close() {
  if (m_hSocket == INVALID_SOCKET) {
    return false;
  }
  const linger lingerReset{1, 0};
  setsockopt(m_hSocket, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&lingerReset),
             sizeof lingerReset);
  const bool bClosed = closesocket(m_hSocket) != SOCKET_ERROR;
  m_hSocket = INVALID_SOCKET;
  m_bConnected.store(false);
  return bClosed;
}

void CvnSocket::Shutdown() {
  m_bConnected.store(false);
  if (m_hSocket != INVALID_SOCKET) {
    shutdown(m_hSocket, SD_BOTH);
  }
}

int CvnSocket::Receive(char* pBuffer, int nCount) {
  int nReceived = 0;
  while (nReceived < nCount) {
    const int nResult = recv(m_hSocket, pBuffer + nReceived, nCount - nReceived, 0);
    if (nResult <= 0) {
      m_bConnected.store(false);
      return nResult;
    }
    nReceived += nResult;
  }
  return nCount;
}
