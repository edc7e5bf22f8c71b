// The plug-in executable: one process per request.
#include "front/dispatch.h"

int main(int argc, char** argv) { return plugin_main(argc, argv); }
