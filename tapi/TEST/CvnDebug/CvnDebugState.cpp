#include "CvnDebugState.h"

#include <cstdio>

CvnComPtr<ICvnEndPoint> CvnEndPointSlot::Get() const {
  std::lock_guard<std::mutex> lock(m_Mutex);
  return m_spEndPoint;
}

bool CvnEndPointSlot::IsNull() const {
  std::lock_guard<std::mutex> lock(m_Mutex);
  return !m_spEndPoint;
}

void CvnEndPointSlot::Set(CvnComPtr<ICvnEndPoint> spEndPoint) {
  CvnComPtr<ICvnEndPoint> spOld;
  {
    std::lock_guard<std::mutex> lock(m_Mutex);
    spOld = std::exchange(m_spEndPoint, std::move(spEndPoint));
  }
}

CvnComPtr<ICvnEndPoint> CvnEndPointSlot::Take() {
  std::lock_guard<std::mutex> lock(m_Mutex);
  return std::exchange(m_spEndPoint, CvnComPtr<ICvnEndPoint>());
}

CvnEndPointSlot g_spIEndPoint;

CvnComPtr<ICvnEndPoint> GetEndPointOrReport() {
  CvnComPtr<ICvnEndPoint> spEndPoint = g_spIEndPoint.Get();
  if (!spEndPoint) {
    std::printf("ERROR: g_spIEndPoint is NULL\n");
    std::fflush(stdout);
  }
  return spEndPoint;
}

HANDLE g_hMsgEvent = nullptr;
HANDLE g_hTermEvent = nullptr;
HANDLE g_hMsgThread = nullptr;
unsigned g_uMsgThreadId = 0;

char g_szExtension[kMaxWordLength + 1] = {};
bool g_bTestMode = false;
std::atomic<bool> g_bTrace{false};

std::atomic<bool> g_bAutoDial{false};
std::atomic<bool> g_bAutoAnswer{false};
std::atomic<int> g_lCallCount{0};
std::atomic<int> g_lDialInterval{0};
std::atomic<int> g_lAnswerDuration{0};
std::mutex g_DialLock;
BSTR g_bstrDialExtension = nullptr;

KivLock g_ConsoleLock;
