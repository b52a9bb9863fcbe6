// Corvane.h: the component's published interface; clients include only this header.
// It holds what the component's type library publishes: the enumerations by which clients
// dispatch on received messages (never on wire codes) and the component's interfaces.
// Declarations only; no state.
#pragma once

// ---------------------------------------------------------------------------------------------
// Enumerations
// ---------------------------------------------------------------------------------------------

// "Message Category"
enum MsgCategoryE {
  eAdministrativeMsg = 0x10000,
  eCallStatusMsg = 0x20000,
  ePhoneConfigReplyMsg = 0x30000,
};

// "Admin Message"
enum AdminMsgTypeE {
  eRegisterReply = 0x10001,
  eUnregisterReply = 0x10002,
  eShutdown = 0x10003,
};

// Replies to call-control requests (0x20001-0x2000E) and call-status events (0x28001 on).
enum CallStatusTypeE {
  eOffhookReply = 0x20001,
  eAnswerReply = 0x20002,
  eOnhookReply = 0x20003,
  eTransferReply = 0x20004,
  eTransferEndReply = 0x20005,
  eBlindTransferReply = 0x20006,
  eConferenceReply = 0x20007,
  eAddToConfReply = 0x20008,
  eHoldReply = 0x20009,
  eUnholdReply = 0x2000A,
  eParkReply = 0x2000B,
  eUnparkReply = 0x2000C,
  eForwardReply = 0x2000D,
  eRedirectReply = 0x2000E,
  eNewCall = 0x28001,
  eRingBack = 0x28002,
  eConnected = 0x28003,
  eBusy = 0x28004,
  eOnhookLocal = 0x28005,
  eOnhookRemote = 0x28006,
  eDigitLocal = 0x28007,
  eDigitRemote = 0x28008,
  eStopDialtone = 0x28009,
  ePickupGroup = 0x2800A,
  ePickupDirected = 0x2800B,
};
// "Call Status Message"
typedef CallStatusTypeE CallStatusMsgTypeE;

// "Phone Config Message"
enum PhoneConfigMsgTypeE {
  ePhoneQueryReply = 0x30001,
  ePhoneConfigReply = 0x30002,
};

// "Phone Operation": the items of a phone query (0-7) and of a phone configuration (8-17),
// and the two operations on the whole set.
enum CvnPhoneOperationE {
  eCvnNumButtons = 0,
  eCvnNumLamps = 1,
  eCvnNumLCDRows = 2,
  eCvnNumLCDCols = 3,
  eCvnSWVer = 4,
  eCvnHWVer = 5,
  eCvnOwnerName = 6,
  eCvnMACAddr = 7,
  eCvnButtonInfo = 8,
  eCvnLCDDisplay = 9,
  eCvnHandsetGain = 10,
  eCvnHandsetVol = 11,
  eCvnSpeakerGain = 12,
  eCvnSpeakerVol = 13,
  eCvnHookswitchMode = 14,
  eCvnLampMode = 15,
  eCvnRingMode = 16,
  eCvnRingVol = 17,
  eCvnSetAllQuery = 18,
  eCvnClearAll = 19,
};

// ---------------------------------------------------------------------------------------------
// Interfaces
// ---------------------------------------------------------------------------------------------
