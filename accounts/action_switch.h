// The switch action: makes one of the node's accounts the selected one.
#pragma once

// Returns 0 after the success document, 1 after an error envelope.
int action_switch(const char* account);
