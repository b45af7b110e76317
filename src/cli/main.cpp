// The orvane executable: wires the command line to the handlers.
#include "cli/commands.h"

int main(int argc, char** argv) { return orvane::run_main(argc, argv); }
