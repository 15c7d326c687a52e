// mesh-info and render: being written with the viewer.
#include "cli.h"
int RunMeshInfoCommand(const CliArgs&) { return Failure("mesh-info is not built yet"); }
int RunRenderCommand(const CliArgs&) { return Failure("render is not built yet"); }
