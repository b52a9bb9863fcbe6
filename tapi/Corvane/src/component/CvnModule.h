// The component's module object: the count of live objects and server locks that decides
// DllCanUnloadNow, and the class factories of the two creatable classes.
// All functions may be called from any thread.
#pragma once

#include "plat/com.h"

namespace CvnModule {

// Every live object and every IClassFactory::LockServer(TRUE) holds one lock.
void Lock();
void Unlock();
LONG GetLockCount();

// The class factory of CLSID_CvnEndPoint or CLSID_MsgInterpreter, queried for riid;
// CLASS_E_CLASSNOTAVAILABLE for any other class.
HRESULT GetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv);

}  // namespace CvnModule
