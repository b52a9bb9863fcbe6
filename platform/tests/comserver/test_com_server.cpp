// The test server: a class factory and one IDispatch class, counting live objects and server
// locks for DllCanUnloadNow; registration writes and removes HKCR\CLSID\{class}.
#include <dlfcn.h>

#include <atomic>
#include <string>

#include "plat/com.h"
#include "plat/registry.h"
#include "test_com_server.h"

namespace {

std::atomic<long> g_objects{0};
std::atomic<long> g_locks{0};

class TestObject final : public IDispatch {
 public:
  TestObject() { ++g_objects; }
  ~TestObject() { --g_objects; }

  HRESULT QueryInterface(REFIID riid, void** ppv) override {
    if (ppv == nullptr) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IDispatch) {
      *ppv = static_cast<IDispatch*>(this);
      AddRef();
      return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  ULONG AddRef() override { return ++refs_; }
  ULONG Release() override {
    const ULONG left = --refs_;
    if (left == 0) delete this;
    return left;
  }

  HRESULT GetTypeInfoCount(UINT* pctinfo) override {
    *pctinfo = 0;
    return S_OK;
  }
  HRESULT GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
    return DISP_E_UNKNOWNNAME;
  }
  HRESULT Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                 EXCEPINFO*, UINT*) override {
    if (id != kivtest::kAnswerDispId || (flags & DISPATCH_METHOD) == 0) {
      return DISP_E_MEMBERNOTFOUND;
    }
    if (params != nullptr && params->cArgs != 0) return DISP_E_BADPARAMCOUNT;
    if (result != nullptr) {
      VariantInit(result);
      result->vt = VT_I4;
      result->lVal = kivtest::kAnswer;
    }
    return S_OK;
  }

 private:
  std::atomic<ULONG> refs_{1};
};

class TestFactory final : public IClassFactory {
 public:
  HRESULT QueryInterface(REFIID riid, void** ppv) override {
    if (ppv == nullptr) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IClassFactory) {
      *ppv = static_cast<IClassFactory*>(this);
      return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  // The factory is a static object; references to it do not keep the library.
  ULONG AddRef() override { return 2; }
  ULONG Release() override { return 1; }

  HRESULT CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override {
    if (ppv == nullptr) return E_POINTER;
    *ppv = nullptr;
    if (outer != nullptr) return CLASS_E_NOAGGREGATION;
    auto* object = new TestObject;
    const HRESULT hr = object->QueryInterface(riid, ppv);
    object->Release();
    return hr;
  }
  HRESULT LockServer(BOOL lock) override {
    lock ? ++g_locks : --g_locks;
    return S_OK;
  }
};

TestFactory g_factory;

std::string ClassKey() {
  OLECHAR wide[40];
  StringFromGUID2(kivtest::kTestObjectClsid, wide, 40);
  return "CLSID\\" + std::string(wide, wide + 38);
}

LONG SetDefault(const std::string& subkey, const std::string& value) {
  HKEY key = nullptr;
  LONG rc = RegCreateKeyExA(HKEY_CLASSES_ROOT, subkey.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                            KEY_ALL_ACCESS, nullptr, &key, nullptr);
  if (rc != ERROR_SUCCESS) return rc;
  rc = RegSetValueExA(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                      static_cast<DWORD>(value.size() + 1));
  RegCloseKey(key);
  return rc;
}

}  // namespace

KIV_EXPORT HRESULT DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv) {
  if (ppv == nullptr) return E_POINTER;
  *ppv = nullptr;
  if (rclsid != kivtest::kTestObjectClsid) return CLASS_E_CLASSNOTAVAILABLE;
  return g_factory.QueryInterface(riid, ppv);
}

KIV_EXPORT HRESULT DllCanUnloadNow() {
  return g_objects.load() == 0 && g_locks.load() == 0 ? S_OK : S_FALSE;
}

KIV_EXPORT HRESULT DllRegisterServer() {
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&DllRegisterServer), &info) == 0 ||
      info.dli_fname == nullptr) {
    return E_FAIL;
  }
  const std::string key = ClassKey();
  if (SetDefault(key, kivtest::kTestObjectName) != ERROR_SUCCESS ||
      SetDefault(key + "\\InprocServer32", info.dli_fname) != ERROR_SUCCESS) {
    return SELFREG_E_CLASS;
  }
  return S_OK;
}

KIV_EXPORT HRESULT DllUnregisterServer() {
  RegDeleteTreeA(HKEY_CLASSES_ROOT, ClassKey().c_str());
  return S_OK;
}
