// The whole request front: catalogue switches, password gate, page or one API action.
#pragma once

// Serves one request (or one catalogue question) and returns the process exit status.
int plugin_main(int argc, char** argv);
