// CvnSocket: the one TCP connection to the call server. The first object of the process starts
// Winsock, the last one cleans it up. Connect, Close and Send are called by client threads under
// the socket reader's connection lock; Receive runs on the reader thread only. The connected mark
// is atomic because both sides clear it; the handle changes only while no reader thread runs.
#pragma once

#include <atomic>

#include "plat/sockets.h"

class CvnSocket {
 public:
  CvnSocket();
  ~CvnSocket();
  CvnSocket(const CvnSocket&) = delete;
  CvnSocket& operator=(const CvnSocket&) = delete;

  // Connects to host (dotted IPv4 text, or a name to resolve) and port; true when connected
  // (also when it already was). A failed attempt closes its socket.
  bool Connect(const char* pszHost, int nPort);
  // Resets the connection (zero linger) and closes the handle; false when none was open.
  bool Close();
  // Ends both directions without closing the handle, so that a blocking Receive on another
  // thread returns; the connection counts as lost from then on.
  void Shutdown();
  // Reads exactly nCount bytes; returns nCount, or the failing recv result (0: the server
  // closed the connection, negative: an error), which also clears the connected mark.
  int Receive(char* pBuffer, int nCount);

  bool IsConnected() const { return m_bConnected.load(); }
  void MarkLost() { m_bConnected.store(false); }
  SOCKET GetHandle() const { return m_hSocket; }

 private:
  SOCKET m_hSocket = INVALID_SOCKET;
  std::atomic<bool> m_bConnected{false};
};
