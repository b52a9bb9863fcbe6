#include "MsgCatalogue.h"

#include "CCMLayout.h"
#include "Corvane.h"

namespace {

// One row per listed type code. pszName: the protocol name, or null for a code the protocol
// leaves unnamed. lMsgType: the interpreter value, or 0 for a code the interpreter does not
// classify. pszTypeName: the name of that value, or null where the value has none.
struct CvnCatalogueRow {
  WORD wType;
  const char* pszName;
  LONG lMsgType;
  const char* pszTypeName;
};

constexpr CvnCatalogueRow s_Catalogue[] = {
    {0x0101, "BRIXO_AD_REGISTRATION", 0, nullptr},
    {0x0102, "BRIXO_AD_REGREPLY", eRegisterReply, "eRegisterReply"},
    {0x0103, "BRIXO_AD_UNREGISTER", 0, nullptr},
    {0x0104, "BRIXO_AD_UNREGREPLY", eUnregisterReply, "eUnregisterReply"},
    {0x0105, "BRIXO_AD_SHUTDOWN", eShutdown, "eShutdown"},
    {0x0201, "BRIXO_CC_OFFHOOK", 0, nullptr},
    {0x0202, "BRIXO_CC_ANSWER", 0, nullptr},
    {0x0203, "BRIXO_CC_ONHOOK", 0, nullptr},
    {0x0204, "BRIXO_CC_MAKECALL", 0, nullptr},
    {0x0205, "BRIXO_CC_DIALDIGITS", 0, nullptr},
    {0x0206, "BRIXO_CC_TRANSFER", 0, nullptr},
    {0x0207, "BRIXO_CC_TRANSFEREND", 0, nullptr},
    {0x0208, "BRIXO_CC_BLINDTRANSFER", 0, nullptr},
    {0x0209, "BRIXO_CC_CONFERENCE", 0, nullptr},
    {0x020A, "BRIXO_CC_ADDTOCONF", 0, nullptr},
    {0x020B, "BRIXO_CC_HOLD", 0, nullptr},
    {0x020C, "BRIXO_CC_UNHOLD", 0, nullptr},
    {0x020D, "BRIXO_CC_PARK", 0, nullptr},
    {0x020E, "BRIXO_CC_UNPARK", 0, nullptr},
    {0x020F, "BRIXO_CC_FORWARD", 0, nullptr},
    {0x0210, "BRIXO_CC_REDIRECT", 0, nullptr},
    {0x0211, nullptr, 0, nullptr},  // group pickup
    {0x0212, nullptr, 0, nullptr},  // directed pickup
    {0x0301, "BRIXO_CS_OFFHOOK", eOffhookReply, "eOffhookReply"},
    {0x0302, "BRIXO_CS_ANSWER", eAnswerReply, "eAnswerReply"},
    {0x0303, "BRIXO_CS_ONHOOK", eOnhookReply, "eOnhookReply"},
    {0x0304, "BRIXO_CS_TRANSFER", eTransferReply, "eTransferReply"},
    {0x0305, "BRIXO_CS_TRANSFEREND", eTransferEndReply, "eTransferEndReply"},
    {0x0306, "BRIXO_CS_BLINDTRANSFER", eBlindTransferReply, "eBlindTransferReply"},
    {0x0307, "BRIXO_CS_CONFERENCE", eConferenceReply, "eConferenceReply"},
    {0x0308, "BRIXO_CS_ADDTOCONF", eAddToConfReply, "eAddToConfReply"},
    {0x0309, "BRIXO_CS_HOLD", eHoldReply, "eHoldReply"},
    {0x030A, "BRIXO_CS_UNHOLD", eUnholdReply, "eUnholdReply"},
    {0x030B, "BRIXO_CS_PARK", eParkReply, "eParkReply"},
    {0x030C, "BRIXO_CS_UNPARK", eUnparkReply, "eUnparkReply"},
    {0x030D, "BRIXO_CS_FORWARD", eForwardReply, "eForwardReply"},
    {0x030E, "BRIXO_CS_REDIRECT", eRedirectReply, "eRedirectReply"},
    {0x0381, "BRIXO_CS_NEWCALL", eNewCall, "eNewCall"},
    {0x0382, "BRIXO_CS_RINGBACK", eRingBack, "eRingBack"},
    {0x0383, "BRIXO_CS_CONNECTED", eConnected, "eConnected"},
    {0x0384, "BRIXO_CS_BUSY", eBusy, "eBusy"},
    {0x0385, "BRIXO_CS_ONHOOK_LOC", eOnhookLocal, "eOnhookLocal"},
    {0x0386, "BRIXO_CS_ONHOOK_REM", eOnhookRemote, "eOnhookRemote"},
    {0x0387, "BRIXO_CS_DIGIT_LOC", eDigitLocal, "eDigitLocal"},
    {0x0388, "BRIXO_CS_DIGIT_REM", eDigitRemote, "eDigitRemote"},
    // The stop-dial-tone event is classified, but its value has no printable name.
    {0x0389, "BRIXO_CS_STOP_DIALTONE", eStopDialtone, nullptr},
    {0x0401, "BRIXO_PC_QUERY", 0, nullptr},
    {0x0402, "BRIXO_PC_CONFIG", 0, nullptr},
    {0x0501, nullptr, ePhoneQueryReply, nullptr},
    {0x0502, nullptr, ePhoneConfigReply, nullptr},
};

const CvnCatalogueRow* FindRow(WORD wType) {
  for (const CvnCatalogueRow& row : s_Catalogue) {
    if (row.wType == wType) return &row;
  }
  return nullptr;
}

}  // namespace

HRESULT CvnMsgTypeOf(WORD wType, LONG* plMsgType) {
  const CvnCatalogueRow* pRow = FindRow(wType);
  if (pRow == nullptr || pRow->lMsgType == 0) return E_FAIL;
  *plMsgType = pRow->lMsgType;
  return S_OK;
}

HRESULT CvnMsgCategoryOf(WORD wType, LONG* plMsgCat) {
  switch (wType & CCMLayout::CATEGORY_MASK) {
    case CCMLayout::CATEGORY_AD: *plMsgCat = eAdministrativeMsg; return S_OK;
    case CCMLayout::CATEGORY_CS: *plMsgCat = eCallStatusMsg; return S_OK;
    case CCMLayout::CATEGORY_PR: *plMsgCat = ePhoneConfigReplyMsg; return S_OK;
    default: return E_FAIL;
  }
}

const char* CvnProtocolMsgName(WORD wType) {
  const CvnCatalogueRow* pRow = FindRow(wType);
  return pRow != nullptr && pRow->pszName != nullptr ? pRow->pszName : "UNKNOWN_MSG";
}

const char* CvnMsgTypeName(LONG lMsgType) {
  if (lMsgType != 0) {
    for (const CvnCatalogueRow& row : s_Catalogue) {
      if (row.lMsgType == lMsgType && row.pszTypeName != nullptr) return row.pszTypeName;
    }
  }
  return "Unknown_Msg";
}
