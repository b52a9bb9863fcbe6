#include "CvnModule.h"

#include <atomic>

#include "Corvane.h"
#include "CvnEndPoint.h"
#include "MsgInterpreter.h"

namespace {

std::atomic<LONG> g_lModuleLocks{0};

// A class factory of one class; static, so its references do not keep the module.
class CvnClassFactory final : public IClassFactory {
 public:
  using CreateFn = HRESULT (*)(REFIID riid, void** ppv);
  explicit constexpr CvnClassFactory(CreateFn pfnCreate) : m_pfnCreate(pfnCreate) {}

  STDMETHODIMP QueryInterface(REFIID riid, void** ppvObject) override {
    if (ppvObject == nullptr) {
      return E_POINTER;
    }
    if (riid == IID_IUnknown || riid == IID_IClassFactory) {
      *ppvObject = static_cast<IClassFactory*>(this);
      return S_OK;
    }
    *ppvObject = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return 2; }
  STDMETHODIMP_(ULONG) Release() override { return 1; }

  STDMETHODIMP CreateInstance(IUnknown* pUnkOuter, REFIID riid, void** ppvObject) override {
    if (ppvObject == nullptr) {
      return E_POINTER;
    }
    *ppvObject = nullptr;
    if (pUnkOuter != nullptr) {
      return CLASS_E_NOAGGREGATION;
    }
    return m_pfnCreate(riid, ppvObject);
  }
  STDMETHODIMP LockServer(BOOL fLock) override {
    if (fLock) {
      CvnModule::Lock();
    } else {
      CvnModule::Unlock();
    }
    return S_OK;
  }

 private:
  CreateFn m_pfnCreate;
};

CvnClassFactory g_EndPointFactory(&CvnEndPoint::CreateInstance);
CvnClassFactory g_InterpreterFactory(&MsgInterpreter::CreateInstance);

}  // namespace

namespace CvnModule {

void Lock() { ++g_lModuleLocks; }
void Unlock() { --g_lModuleLocks; }
LONG GetLockCount() { return g_lModuleLocks.load(); }

HRESULT GetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv) {
  if (ppv == nullptr) {
    return E_POINTER;
  }
  *ppv = nullptr;
  if (rclsid == CLSID_CvnEndPoint) {
    return g_EndPointFactory.QueryInterface(riid, ppv);
  }
  if (rclsid == CLSID_MsgInterpreter) {
    return g_InterpreterFactory.QueryInterface(riid, ppv);
  }
  return CLASS_E_CLASSNOTAVAILABLE;
}

}  // namespace CvnModule
