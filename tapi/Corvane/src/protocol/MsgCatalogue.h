// The message catalogue: every type code of the call-control protocol with its protocol name
// and the value the message interpreter reports for it (Corvane.h enumerations), and the names
// of those values. Pure functions over constant tables; safe from any thread.
#pragma once

#include "plat/types.h"

// The interpreter value (AdminMsgTypeE, CallStatusTypeE, PhoneConfigMsgTypeE) of a received
// type code: S_OK, or E_FAIL with *plMsgType unchanged for a code the interpreter does not
// classify (every request, every unlisted code).
HRESULT CvnMsgTypeOf(WORD wType, LONG* plMsgType);
// The MsgCategoryE of a type code by its high byte: S_OK for the administrative, call-status
// and phone-reply categories, otherwise E_FAIL with *plMsgCat unchanged.
HRESULT CvnMsgCategoryOf(WORD wType, LONG* plMsgCat);
// The protocol name of a type code; "UNKNOWN_MSG" for a code without one.
const char* CvnProtocolMsgName(WORD wType);
// The name of an interpreter value; "Unknown_Msg" for a value without one.
const char* CvnMsgTypeName(LONG lMsgType);
