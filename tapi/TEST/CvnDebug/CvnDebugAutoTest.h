// The automatic tests' reactions to call-status messages, run on the message handler thread
// (the commands that start and stop the tests are in CvnDebugCommands.h). Their output is not
// under the console lock; the endpoint calls' results are ignored.
#pragma once

#include "Corvane.h"

// Dial test: on the off-hook reply to its own request, dial the extension on lSAL1.
void AutoDialOnOffhookReply(ICvnEndPoint* pEndPoint, LONG lSAL1, LONG lReqId);
// Dial test: after the call's on-hook reply, wait the interval and go off hook again.
void AutoDialOnOnhookReply(ICvnEndPoint* pEndPoint);
// Answer test: answer a new call on lSAL1.
void AutoAnswerOnNewCall(ICvnEndPoint* pEndPoint, LONG lSAL1);
// Answer test: count the connected call, hold it for the duration, hang up on lSAL1.
void AutoAnswerOnConnected(ICvnEndPoint* pEndPoint, LONG lSAL1);
