// The message catalogue: every listed type code checked from one table (protocol name,
// category, interpreter value, name of that value), the codes around it, and the value names.
#include <gtest/gtest.h>

#include <string>

#include "Corvane.h"
#include "MsgCatalogue.h"

namespace {

constexpr LONG kNone = 0;  // no category / no interpreter value: the lookup fails

struct Row {
  WORD code;
  const char* name;
  LONG category;
  LONG type;
  const char* type_name;
};

const Row kRows[] = {
    {0x0101, "BRIXO_AD_REGISTRATION", eAdministrativeMsg, kNone, nullptr},
    {0x0102, "BRIXO_AD_REGREPLY", eAdministrativeMsg, 0x10001, "eRegisterReply"},
    {0x0103, "BRIXO_AD_UNREGISTER", eAdministrativeMsg, kNone, nullptr},
    {0x0104, "BRIXO_AD_UNREGREPLY", eAdministrativeMsg, 0x10002, "eUnregisterReply"},
    {0x0105, "BRIXO_AD_SHUTDOWN", eAdministrativeMsg, 0x10003, "eShutdown"},
    {0x0106, "UNKNOWN_MSG", eAdministrativeMsg, kNone, nullptr},
    {0x0201, "BRIXO_CC_OFFHOOK", kNone, kNone, nullptr},
    {0x0202, "BRIXO_CC_ANSWER", kNone, kNone, nullptr},
    {0x0203, "BRIXO_CC_ONHOOK", kNone, kNone, nullptr},
    {0x0204, "BRIXO_CC_MAKECALL", kNone, kNone, nullptr},
    {0x0205, "BRIXO_CC_DIALDIGITS", kNone, kNone, nullptr},
    {0x0206, "BRIXO_CC_TRANSFER", kNone, kNone, nullptr},
    {0x0207, "BRIXO_CC_TRANSFEREND", kNone, kNone, nullptr},
    {0x0208, "BRIXO_CC_BLINDTRANSFER", kNone, kNone, nullptr},
    {0x0209, "BRIXO_CC_CONFERENCE", kNone, kNone, nullptr},
    {0x020A, "BRIXO_CC_ADDTOCONF", kNone, kNone, nullptr},
    {0x020B, "BRIXO_CC_HOLD", kNone, kNone, nullptr},
    {0x020C, "BRIXO_CC_UNHOLD", kNone, kNone, nullptr},
    {0x020D, "BRIXO_CC_PARK", kNone, kNone, nullptr},
    {0x020E, "BRIXO_CC_UNPARK", kNone, kNone, nullptr},
    {0x020F, "BRIXO_CC_FORWARD", kNone, kNone, nullptr},
    {0x0210, "BRIXO_CC_REDIRECT", kNone, kNone, nullptr},
    {0x0211, "UNKNOWN_MSG", kNone, kNone, nullptr},
    {0x0212, "UNKNOWN_MSG", kNone, kNone, nullptr},
    {0x0301, "BRIXO_CS_OFFHOOK", eCallStatusMsg, 0x20001, "eOffhookReply"},
    {0x0302, "BRIXO_CS_ANSWER", eCallStatusMsg, 0x20002, "eAnswerReply"},
    {0x0303, "BRIXO_CS_ONHOOK", eCallStatusMsg, 0x20003, "eOnhookReply"},
    {0x0304, "BRIXO_CS_TRANSFER", eCallStatusMsg, 0x20004, "eTransferReply"},
    {0x0305, "BRIXO_CS_TRANSFEREND", eCallStatusMsg, 0x20005, "eTransferEndReply"},
    {0x0306, "BRIXO_CS_BLINDTRANSFER", eCallStatusMsg, 0x20006, "eBlindTransferReply"},
    {0x0307, "BRIXO_CS_CONFERENCE", eCallStatusMsg, 0x20007, "eConferenceReply"},
    {0x0308, "BRIXO_CS_ADDTOCONF", eCallStatusMsg, 0x20008, "eAddToConfReply"},
    {0x0309, "BRIXO_CS_HOLD", eCallStatusMsg, 0x20009, "eHoldReply"},
    {0x030A, "BRIXO_CS_UNHOLD", eCallStatusMsg, 0x2000A, "eUnholdReply"},
    {0x030B, "BRIXO_CS_PARK", eCallStatusMsg, 0x2000B, "eParkReply"},
    {0x030C, "BRIXO_CS_UNPARK", eCallStatusMsg, 0x2000C, "eUnparkReply"},
    {0x030D, "BRIXO_CS_FORWARD", eCallStatusMsg, 0x2000D, "eForwardReply"},
    {0x030E, "BRIXO_CS_REDIRECT", eCallStatusMsg, 0x2000E, "eRedirectReply"},
    {0x030F, "UNKNOWN_MSG", eCallStatusMsg, kNone, nullptr},
    {0x0381, "BRIXO_CS_NEWCALL", eCallStatusMsg, 0x28001, "eNewCall"},
    {0x0382, "BRIXO_CS_RINGBACK", eCallStatusMsg, 0x28002, "eRingBack"},
    {0x0383, "BRIXO_CS_CONNECTED", eCallStatusMsg, 0x28003, "eConnected"},
    {0x0384, "BRIXO_CS_BUSY", eCallStatusMsg, 0x28004, "eBusy"},
    {0x0385, "BRIXO_CS_ONHOOK_LOC", eCallStatusMsg, 0x28005, "eOnhookLocal"},
    {0x0386, "BRIXO_CS_ONHOOK_REM", eCallStatusMsg, 0x28006, "eOnhookRemote"},
    {0x0387, "BRIXO_CS_DIGIT_LOC", eCallStatusMsg, 0x28007, "eDigitLocal"},
    {0x0388, "BRIXO_CS_DIGIT_REM", eCallStatusMsg, 0x28008, "eDigitRemote"},
    // Classified as eStopDialtone, whose value has no printable name.
    {0x0389, "BRIXO_CS_STOP_DIALTONE", eCallStatusMsg, 0x28009, "Unknown_Msg"},
    {0x038A, "UNKNOWN_MSG", eCallStatusMsg, kNone, nullptr},
    {0x0401, "BRIXO_PC_QUERY", kNone, kNone, nullptr},
    {0x0402, "BRIXO_PC_CONFIG", kNone, kNone, nullptr},
    {0x0501, "UNKNOWN_MSG", ePhoneConfigReplyMsg, 0x30001, "Unknown_Msg"},
    {0x0502, "UNKNOWN_MSG", ePhoneConfigReplyMsg, 0x30002, "Unknown_Msg"},
    {0x0503, "UNKNOWN_MSG", ePhoneConfigReplyMsg, kNone, nullptr},
    {0x0000, "UNKNOWN_MSG", kNone, kNone, nullptr},
    {0x0601, "UNKNOWN_MSG", kNone, kNone, nullptr},
    {0xFFFF, "UNKNOWN_MSG", kNone, kNone, nullptr},
};

TEST(MsgCatalogue, EveryRow) {
  for (const Row& row : kRows) {
    SCOPED_TRACE(testing::Message() << "code 0x" << std::hex << row.code);
    EXPECT_STREQ(CvnProtocolMsgName(row.code), row.name);

    LONG category = -7;
    EXPECT_EQ(CvnMsgCategoryOf(row.code, &category), row.category != kNone ? S_OK : E_FAIL);
    EXPECT_EQ(category, row.category != kNone ? row.category : -7);

    LONG type = -7;
    EXPECT_EQ(CvnMsgTypeOf(row.code, &type), row.type != kNone ? S_OK : E_FAIL);
    EXPECT_EQ(type, row.type != kNone ? row.type : -7);
    if (row.type != kNone) {
      EXPECT_STREQ(CvnMsgTypeName(row.type), row.type_name);
    }
  }
}

// Values that no code maps to, and values of no enumeration, have no name either.
TEST(MsgCatalogue, ValuesWithoutAName) {
  for (LONG value : {LONG{ePickupGroup}, LONG{ePickupDirected}, LONG{0}, LONG{-1}, LONG{0x10000},
                     LONG{0x20000}, LONG{0x0102}}) {
    EXPECT_STREQ(CvnMsgTypeName(value), "Unknown_Msg") << value;
  }
}

}  // namespace
