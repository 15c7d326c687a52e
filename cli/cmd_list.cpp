#include "cli.h"
int RunListCommand(const CliArgs&) { return Failure("list is being written"); }
