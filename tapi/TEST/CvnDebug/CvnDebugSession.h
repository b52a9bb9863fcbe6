// The steps that create, connect, register and tear down the endpoint, shared by their
// commands, by autostart/autostop, by start-up and shut-down and by the registration load test.
// Shell thread only. Each step checks for the endpoint and prints its own messages; failures of
// the endpoint's calls are fatal (exit code -1).
#pragma once

void CreateObjStep();
// Connects the endpoint (when there is one), creates the message handler thread the first
// time and resumes it once.
void ConnectStep();
// Registers g_szExtension with the fixed password and asks for the phone owner's name.
void RegisterStep();
void UnregisterStep();
void DisconnectStep();
void DestroyObjStep();

// createobj, connect, register.
void AutoStart();
// unregister, 500 ms, suspend the thread, disconnect, 2000 ms, destroyobj.
void AutoStop();
