// CvnSocketReader: the process's one connection to the call server, the one reader thread that
// frames incoming messages and hands each to the endpoint its header extension is routed to,
// and the routing table. Created with the first endpoint of the process, destroyed with the last.
// Start, Stop and Send run on client threads and are serialised by m_csConnection; the reader
// thread never takes it. Routes are guarded by m_csRoutes, which the reader holds while it hands
// a message to an endpoint, so an endpoint whose route is gone receives nothing more.
// Stop joins the reader thread and is never called from it (the reader calls no client code).
#pragma once

#include <map>
#include <mutex>
#include <string>

#include "CvnSocket.h"

class CCMMessage;
class CvnEndPoint;

class CvnSocketReader {
 public:
  CvnSocketReader() = default;
  // A forced Stop, then the socket is closed.
  ~CvnSocketReader();
  CvnSocketReader(const CvnSocketReader&) = delete;
  CvnSocketReader& operator=(const CvnSocketReader&) = delete;

  // Connects (reading the configuration) unless connected, and starts the reader thread unless
  // it runs. After a lost connection the old reader is joined and its socket closed first, so
  // exactly one reader reads the new connection. S_OK or E_FAIL.
  HRESULT Start();
  // Closes the connection and joins the reader thread; without bForce only when no route is
  // left. Always S_OK.
  HRESULT Stop(bool bForce);
  // Sends one request record on the calling thread. E_FAIL (and the connection counts as lost)
  // when not connected or the send fails.
  HRESULT Send(const CCMMessage& msg);

  // Adds a route unless the extension is already routed.
  void AddRoute(const std::string& strExtension, CvnEndPoint* pEndPoint);
  void RemoveRoute(const std::string& strExtension);
  // Removes every route to pEndPoint (an endpoint that goes away while routed).
  void RemoveRoutesTo(const CvnEndPoint* pEndPoint);
  bool HasRoutes();

  // The server settings under HKEY_LOCAL_MACHINE\Software\KIV\Corvane: "ServerIPAddr" (empty
  // when it cannot be read) and "ServerPortId" (decimal text, 20485 when it cannot be read).
  static void ReadConfiguration(std::string& strAddress, int& nPort);
  // Reader threads started and not yet ended in the process (for diagnostics and tests).
  static LONG GetReaderThreadCount();

  static constexpr int s_nDefaultPort = 20485;

 private:
  static unsigned __stdcall ReaderThreadProc(void* pParam);
  void ReadMessages();
  // The endpoint routed for a received message's extension gets a copy of it.
  void Deliver(const BYTE* pMessage, WORD wLength);
  // Ends the reader (if one was started), then closes the socket. Holds m_csConnection.
  void EndConnection();

  // State below is guarded by m_csConnection (the reader thread reads m_Socket's handle, which
  // changes only while no reader thread runs).
  std::mutex m_csConnection;
  bool m_bRunning = false;
  CvnSocket m_Socket;
  int m_nServerPort = s_nDefaultPort;
  std::string m_strServerAddress;
  HANDLE m_hReaderThread = nullptr;
  DWORD m_dwReaderThreadId = 0;

  // Guarded by m_csRoutes.
  std::mutex m_csRoutes;
  std::map<std::string, CvnEndPoint*> m_Routes;
};
