// CPCorvane: the endpoint's connection point for its event interface IMsgEvent, and the firing
// of CvnNotification to every connected sink. It lives inside its endpoint and shares the
// endpoint's reference count. Advise, Unadvise and firing may run on any thread; the sink list
// is guarded by m_csSinks, which is not held while a sink is called (a sink may unadvise).
#pragma once

#include <mutex>
#include <utility>
#include <vector>

#include "Corvane.h"

class CPCorvane final : public IConnectionPoint {
 public:
  explicit CPCorvane(IConnectionPointContainer* pContainer) : m_pContainer(pContainer) {}
  // Releases the sinks still connected.
  ~CPCorvane();
  CPCorvane(const CPCorvane&) = delete;
  CPCorvane& operator=(const CPCorvane&) = delete;

  // IUnknown: the container's identity and reference count.
  STDMETHODIMP QueryInterface(REFIID riid, void** ppvObject) override;
  STDMETHODIMP_(ULONG) AddRef() override { return m_pContainer->AddRef(); }
  STDMETHODIMP_(ULONG) Release() override { return m_pContainer->Release(); }

  // IConnectionPoint. A sink is accepted when it answers IMsgEvent or IDispatch.
  STDMETHODIMP GetConnectionInterface(IID* pIID) override;
  STDMETHODIMP GetConnectionPointContainer(IConnectionPointContainer** ppCPC) override;
  STDMETHODIMP Advise(IUnknown* pUnkSink, DWORD* pdwCookie) override;
  STDMETHODIMP Unadvise(DWORD dwCookie) override;
  STDMETHODIMP EnumConnections(IEnumConnections** ppEnum) override;

  // Calls CvnNotification on every sink in connection order, each with its own reference to
  // pMsgInt (kept by the sink; taken back when its Invoke fails). A failing sink does not stop
  // the others. The caller keeps its own reference.
  void FireCvnNotification(IMsgInterpreter* pMsgInt);

 private:
  IConnectionPointContainer* m_pContainer;

  // Guarded by m_csSinks.
  std::mutex m_csSinks;
  std::vector<std::pair<DWORD, IDispatch*>> m_Sinks;
  DWORD m_dwNextCookie = 1;
};
