#include "CvnRegistration.h"

#include <cstdio>
#include <string>

#include "Corvane.h"
#include "plat/registry.h"

namespace {

struct CvnClassEntry {
  const CLSID* m_pClsid;
  const char* m_pszHelp;
  const char* m_pszProgID;
  const char* m_pszVersionIndependentProgID;
};

constexpr CvnClassEntry s_Classes[] = {
    {&CLSID_CvnEndPoint, "CvnEndPoint Class", "CvnEndPoint.CvnEndPoint.1",
     "CvnEndPoint.CvnEndPoint"},
    {&CLSID_MsgInterpreter, "MsgInterpreter Class", "MsgInterpreter.MsgInterpreter.1",
     "MsgInterpreter.MsgInterpreter"},
};

std::string GuidText(const GUID& guid) {
  char szGuid[40];
  std::snprintf(szGuid, sizeof szGuid, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                static_cast<unsigned>(guid.Data1), guid.Data2, guid.Data3, guid.Data4[0],
                guid.Data4[1], guid.Data4[2], guid.Data4[3], guid.Data4[4], guid.Data4[5],
                guid.Data4[6], guid.Data4[7]);
  return szGuid;
}

// Creates HKEY_CLASSES_ROOT\strKey and, when pszValue is given, sets the value pszName (the
// default value for null) to it.
bool SetKey(const std::string& strKey, const char* pszName, const char* pszValue) {
  HKEY hKey = nullptr;
  if (RegCreateKeyExA(HKEY_CLASSES_ROOT, strKey.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                      KEY_ALL_ACCESS, nullptr, &hKey, nullptr) != ERROR_SUCCESS) {
    return false;
  }
  bool bWritten = true;
  if (pszValue != nullptr) {
    const std::string strValue = pszValue;
    bWritten =
        RegSetValueExA(hKey, pszName, 0, REG_SZ, reinterpret_cast<const BYTE*>(strValue.c_str()),
                       static_cast<DWORD>(strValue.size() + 1)) == ERROR_SUCCESS;
  }
  RegCloseKey(hKey);
  return bWritten;
}

bool RegisterClass(const CvnClassEntry& entry, const std::string& strModule) {
  const std::string strClsid = GuidText(*entry.m_pClsid);
  const std::string strClassKey = "CLSID\\" + strClsid;
  const std::string strProgID = entry.m_pszProgID;
  const std::string strVIProgID = entry.m_pszVersionIndependentProgID;
  const std::string strBitmap = strModule + ", 1";
  const std::string strLibid = GuidText(LIBID_CORVANELib);
  return SetKey(strProgID, nullptr, entry.m_pszHelp) &&
         SetKey(strProgID + "\\CLSID", nullptr, strClsid.c_str()) &&
         SetKey(strVIProgID, nullptr, entry.m_pszHelp) &&
         SetKey(strVIProgID + "\\CurVer", nullptr, strProgID.c_str()) &&
         SetKey(strClassKey, nullptr, entry.m_pszHelp) &&
         SetKey(strClassKey + "\\ProgID", nullptr, strProgID.c_str()) &&
         SetKey(strClassKey + "\\VersionIndependentProgID", nullptr, strVIProgID.c_str()) &&
         SetKey(strClassKey + "\\Programmable", nullptr, nullptr) &&
         SetKey(strClassKey + "\\Control", nullptr, nullptr) &&
         SetKey(strClassKey + "\\Insertable", nullptr, nullptr) &&
         SetKey(strClassKey + "\\InprocServer32", nullptr, strModule.c_str()) &&
         SetKey(strClassKey + "\\InprocServer32", "ThreadingModel", "Apartment") &&
         SetKey(strClassKey + "\\ToolboxBitmap32", nullptr, strBitmap.c_str()) &&
         SetKey(strClassKey + "\\MiscStatus", nullptr, "0") &&
         SetKey(strClassKey + "\\MiscStatus\\1", nullptr, "131473") &&
         SetKey(strClassKey + "\\TypeLib", nullptr, strLibid.c_str()) &&
         SetKey(strClassKey + "\\Version", nullptr, "1.0");
}

}  // namespace

HRESULT CvnRegisterClasses(const char* pszModule) {
  for (const CvnClassEntry& entry : s_Classes) {
    if (!RegisterClass(entry, pszModule)) {
      return SELFREG_E_CLASS;
    }
  }
  return S_OK;
}

HRESULT CvnUnregisterClasses() {
  for (const CvnClassEntry& entry : s_Classes) {
    RegDeleteTreeA(HKEY_CLASSES_ROOT, entry.m_pszProgID);
    RegDeleteTreeA(HKEY_CLASSES_ROOT, entry.m_pszVersionIndependentProgID);
    RegDeleteTreeA(HKEY_CLASSES_ROOT, ("CLSID\\" + GuidText(*entry.m_pClsid)).c_str());
  }
  return S_OK;
}
