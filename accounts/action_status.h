// The status action: what the plug-in knows about the node's accounts, without running the tool.
#pragma once

// Writes the status document and returns 0 (1 only when memory ran out).
int action_status();

// The opening shared by the status and quota documents, up to and including "selected":.
inline constexpr const char* document_opening =
    "{\"ok\":true,\"plugin\":\"plugin_brelvane\",\"version\":\"" BRELVANE_VERSION
    "\",\"selected\":";
