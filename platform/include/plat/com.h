// COM: the interfaces the deliverables use, their identifiers, and the runtime for in-process
// servers (a class id is looked up under HKEY_CLASSES_ROOT\CLSID\{...}\InprocServer32, the
// library is loaded once with dlopen and asked through its DllGetClassObject). All functions may
// be called from any thread; there is no marshalling, so every apartment calls objects directly.
// Interfaces have protected destructors: implementations are final or have virtual destructors.
#pragma once

#include "plat/types.h"
#include "plat/variant.h"

// Method declaration helpers, as the deliverables write them.
#define STDAPICALLTYPE
#define STDMETHOD(method) virtual HRESULT STDMETHODCALLTYPE method
#define STDMETHOD_(type, method) virtual type STDMETHODCALLTYPE method
#define STDMETHODIMP HRESULT STDMETHODCALLTYPE
#define STDMETHODIMP_(type) type STDMETHODCALLTYPE
#define PURE = 0
#define STDAPI extern "C" HRESULT STDAPICALLTYPE

// Result codes (the values Windows uses).
inline constexpr HRESULT NOERROR = S_OK;
inline constexpr HRESULT CLASS_E_NOAGGREGATION = static_cast<HRESULT>(0x80040110u);
inline constexpr HRESULT CLASS_E_CLASSNOTAVAILABLE = static_cast<HRESULT>(0x80040111u);
inline constexpr HRESULT REGDB_E_CLASSNOTREG = static_cast<HRESULT>(0x80040154u);
inline constexpr HRESULT CO_E_NOTINITIALIZED = static_cast<HRESULT>(0x800401F0u);
inline constexpr HRESULT CO_E_CLASSSTRING = static_cast<HRESULT>(0x800401F3u);
inline constexpr HRESULT CO_E_DLLNOTFOUND = static_cast<HRESULT>(0x800401F8u);
inline constexpr HRESULT CO_E_ERRORINDLL = static_cast<HRESULT>(0x800401F9u);
inline constexpr HRESULT RPC_E_CHANGED_MODE = static_cast<HRESULT>(0x80010106u);
inline constexpr HRESULT SELFREG_E_TYPELIB = static_cast<HRESULT>(0x80040200u);
inline constexpr HRESULT SELFREG_E_CLASS = static_cast<HRESULT>(0x80040201u);
inline constexpr HRESULT CONNECT_E_NOCONNECTION = static_cast<HRESULT>(0x80040200u);
inline constexpr HRESULT CONNECT_E_ADVISELIMIT = static_cast<HRESULT>(0x80040201u);
inline constexpr HRESULT CONNECT_E_CANNOTCONNECT = static_cast<HRESULT>(0x80040202u);
inline constexpr HRESULT CONNECT_E_OVERRIDDEN = static_cast<HRESULT>(0x80040203u);
inline constexpr HRESULT DISP_E_UNKNOWNINTERFACE = static_cast<HRESULT>(0x80020001u);
inline constexpr HRESULT DISP_E_MEMBERNOTFOUND = static_cast<HRESULT>(0x80020003u);
inline constexpr HRESULT DISP_E_PARAMNOTFOUND = static_cast<HRESULT>(0x80020004u);
inline constexpr HRESULT DISP_E_TYPEMISMATCH = static_cast<HRESULT>(0x80020005u);
inline constexpr HRESULT DISP_E_UNKNOWNNAME = static_cast<HRESULT>(0x80020006u);
inline constexpr HRESULT DISP_E_NONAMEDARGS = static_cast<HRESULT>(0x80020007u);
inline constexpr HRESULT DISP_E_BADVARTYPE = static_cast<HRESULT>(0x80020008u);
inline constexpr HRESULT DISP_E_EXCEPTION = static_cast<HRESULT>(0x80020009u);
inline constexpr HRESULT DISP_E_OVERFLOW = static_cast<HRESULT>(0x8002000Au);
inline constexpr HRESULT DISP_E_BADINDEX = static_cast<HRESULT>(0x8002000Bu);
inline constexpr HRESULT DISP_E_UNKNOWNLCID = static_cast<HRESULT>(0x8002000Cu);
inline constexpr HRESULT DISP_E_BADPARAMCOUNT = static_cast<HRESULT>(0x8002000Eu);
inline constexpr HRESULT DISP_E_PARAMNOTOPTIONAL = static_cast<HRESULT>(0x8002000Fu);
inline constexpr HRESULT TYPE_E_ELEMENTNOTFOUND = static_cast<HRESULT>(0x8002802Bu);

// Class contexts. Only in-process servers exist here.
inline constexpr DWORD CLSCTX_INPROC_SERVER = 0x1;
inline constexpr DWORD CLSCTX_INPROC_HANDLER = 0x2;
inline constexpr DWORD CLSCTX_LOCAL_SERVER = 0x4;
inline constexpr DWORD CLSCTX_REMOTE_SERVER = 0x10;
inline constexpr DWORD CLSCTX_INPROC = CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER;
inline constexpr DWORD CLSCTX_SERVER =
    CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER;
inline constexpr DWORD CLSCTX_ALL = CLSCTX_INPROC | CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER;

// Apartment models for CoInitializeEx.
inline constexpr DWORD COINIT_MULTITHREADED = 0x0;
inline constexpr DWORD COINIT_APARTMENTTHREADED = 0x2;
inline constexpr DWORD COINIT_DISABLE_OLE1DDE = 0x4;
inline constexpr DWORD COINIT_SPEED_OVER_MEMORY = 0x8;

// Dispatch.
inline constexpr WORD DISPATCH_METHOD = 0x1;
inline constexpr WORD DISPATCH_PROPERTYGET = 0x2;
inline constexpr WORD DISPATCH_PROPERTYPUT = 0x4;
inline constexpr WORD DISPATCH_PROPERTYPUTREF = 0x8;
inline constexpr DISPID DISPID_UNKNOWN = -1;
inline constexpr DISPID DISPID_VALUE = 0;
inline constexpr DISPID DISPID_PROPERTYPUT = -3;
inline constexpr LCID LOCALE_SYSTEM_DEFAULT = 0x800;
inline constexpr LCID LOCALE_USER_DEFAULT = 0x400;

// Interface identifiers (the public values), defined once in the platform.
#define IID_NULL GUID_NULL
extern "C" {
WINPLAT_API extern const IID IID_IUnknown;
WINPLAT_API extern const IID IID_IClassFactory;
WINPLAT_API extern const IID IID_IDispatch;
WINPLAT_API extern const IID IID_ITypeInfo;
WINPLAT_API extern const IID IID_IConnectionPointContainer;
WINPLAT_API extern const IID IID_IEnumConnectionPoints;
WINPLAT_API extern const IID IID_IConnectionPoint;
WINPLAT_API extern const IID IID_IEnumConnections;
}

// Type information is not provided on this platform; GetTypeInfo may answer E_NOTIMPL.
struct ITypeInfo;

struct IUnknown {
  virtual HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppvObject) = 0;
  virtual ULONG STDMETHODCALLTYPE AddRef() = 0;
  virtual ULONG STDMETHODCALLTYPE Release() = 0;

 protected:
  ~IUnknown() = default;
};
using LPUNKNOWN = IUnknown*;

struct IClassFactory : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* pUnkOuter, REFIID riid,
                                                   void** ppvObject) = 0;
  virtual HRESULT STDMETHODCALLTYPE LockServer(BOOL fLock) = 0;

 protected:
  ~IClassFactory() = default;
};
using LPCLASSFACTORY = IClassFactory*;

struct IDispatch : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* pctinfo) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT iTInfo, LCID lcid, ITypeInfo** ppTInfo) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, LPOLESTR* rgszNames, UINT cNames,
                                                  LCID lcid, DISPID* rgDispId) = 0;
  virtual HRESULT STDMETHODCALLTYPE Invoke(DISPID dispIdMember, REFIID riid, LCID lcid, WORD wFlags,
                                           DISPPARAMS* pDispParams, VARIANT* pVarResult,
                                           EXCEPINFO* pExcepInfo, UINT* puArgErr) = 0;

 protected:
  ~IDispatch() = default;
};
using LPDISPATCH = IDispatch*;

struct IConnectionPoint;
struct IConnectionPointContainer;

struct CONNECTDATA {
  IUnknown* pUnk;
  DWORD dwCookie;
};
using LPCONNECTDATA = CONNECTDATA*;

struct IEnumConnections : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE Next(ULONG cConnections, CONNECTDATA* rgcd,
                                         ULONG* pcFetched) = 0;
  virtual HRESULT STDMETHODCALLTYPE Skip(ULONG cConnections) = 0;
  virtual HRESULT STDMETHODCALLTYPE Reset() = 0;
  virtual HRESULT STDMETHODCALLTYPE Clone(IEnumConnections** ppEnum) = 0;

 protected:
  ~IEnumConnections() = default;
};

struct IConnectionPoint : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE GetConnectionInterface(IID* pIID) = 0;
  virtual HRESULT STDMETHODCALLTYPE
  GetConnectionPointContainer(IConnectionPointContainer** ppCPC) = 0;
  virtual HRESULT STDMETHODCALLTYPE Advise(IUnknown* pUnkSink, DWORD* pdwCookie) = 0;
  virtual HRESULT STDMETHODCALLTYPE Unadvise(DWORD dwCookie) = 0;
  virtual HRESULT STDMETHODCALLTYPE EnumConnections(IEnumConnections** ppEnum) = 0;

 protected:
  ~IConnectionPoint() = default;
};

struct IEnumConnectionPoints : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE Next(ULONG cConnections, IConnectionPoint** ppCP,
                                         ULONG* pcFetched) = 0;
  virtual HRESULT STDMETHODCALLTYPE Skip(ULONG cConnections) = 0;
  virtual HRESULT STDMETHODCALLTYPE Reset() = 0;
  virtual HRESULT STDMETHODCALLTYPE Clone(IEnumConnectionPoints** ppEnum) = 0;

 protected:
  ~IEnumConnectionPoints() = default;
};

struct IConnectionPointContainer : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE EnumConnectionPoints(IEnumConnectionPoints** ppEnum) = 0;
  virtual HRESULT STDMETHODCALLTYPE FindConnectionPoint(REFIID riid, IConnectionPoint** ppCP) = 0;

 protected:
  ~IConnectionPointContainer() = default;
};

// The entry points an in-process server library exports (with C linkage).
using LPFNGETCLASSOBJECT = HRESULT (*)(REFCLSID rclsid, REFIID riid, LPVOID* ppv);
using LPFNCANUNLOADNOW = HRESULT (*)();

extern "C" {
// Enters the calling thread into COM: S_OK the first time, S_FALSE for every further call on the
// same thread (each must be matched by CoUninitialize), RPC_E_CHANGED_MODE when the thread is
// already initialised with the other model (the count is not raised then). pvReserved must be
// null.
WINPLAT_API HRESULT CoInitializeEx(LPVOID pvReserved, DWORD dwCoInit);
// CoInitializeEx(pvReserved, COINIT_APARTMENTTHREADED).
WINPLAT_API HRESULT CoInitialize(LPVOID pvReserved);
// Undoes one successful CoInitializeEx of the calling thread; a surplus call does nothing.
WINPLAT_API void CoUninitialize();

// Creation needs an initialised calling thread, or a live multithreaded apartment anywhere in
// the process (which an uninitialised thread implicitly joins), else CO_E_NOTINITIALIZED.
// REGDB_E_CLASSNOTREG for a class without an InprocServer32 library (or a context without
// CLSCTX_INPROC_SERVER); CO_E_DLLNOTFOUND when the library cannot be loaded, CO_E_ERRORINDLL
// when it does not export DllGetClassObject; otherwise what the library's factory answers.
WINPLAT_API HRESULT CoGetClassObject(REFCLSID rclsid, DWORD dwClsContext, LPVOID pvReserved,
                                     REFIID riid, LPVOID* ppv);
WINPLAT_API HRESULT CoCreateInstance(REFCLSID rclsid, LPUNKNOWN pUnkOuter, DWORD dwClsContext,
                                     REFIID riid, LPVOID* ppv);
// Unloads every loaded server library whose DllCanUnloadNow answers S_OK (a library without that
// export stays loaded). A later creation loads it again.
WINPLAT_API void CoFreeUnusedLibraries();

WINPLAT_API LPVOID CoTaskMemAlloc(SIZE_T cb);
WINPLAT_API LPVOID CoTaskMemRealloc(LPVOID pv, SIZE_T cb);
WINPLAT_API void CoTaskMemFree(LPVOID pv);

// GUID text: "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" in upper-case hexadecimal (39 characters
// with the terminating zero). Parsing accepts either case.
// Returns the characters written including the zero, or 0 when cchMax is below 39.
WINPLAT_API int StringFromGUID2(REFGUID rguid, LPOLESTR lpsz, int cchMax);
// *lplpsz is allocated with CoTaskMemAlloc; the caller frees it with CoTaskMemFree.
WINPLAT_API HRESULT StringFromCLSID(REFCLSID rclsid, LPOLESTR* lplpsz);
WINPLAT_API HRESULT StringFromIID(REFIID rclsid, LPOLESTR* lplpsz);
// CO_E_CLASSSTRING for text that is not a braced GUID (*pclsid is GUID_NULL then).
WINPLAT_API HRESULT CLSIDFromString(LPCOLESTR lpsz, LPCLSID pclsid);
// E_INVALIDARG for text that is not a braced GUID.
WINPLAT_API HRESULT IIDFromString(LPCOLESTR lpsz, LPGUID lpiid);
}
