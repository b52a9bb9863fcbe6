// Retrieving and printing one message of the endpoint: category, type and status, the owner
// name of a phone reply, and for call-status messages the automatic test reaction and the
// field block. Message handler thread only.
#pragma once

// Retrieves one message from g_spIEndPoint and prints it; does nothing without an endpoint.
void HandleOneMessage();
