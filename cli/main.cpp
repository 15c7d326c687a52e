#include "cli.h"

#include <cstdio>
#include <cstring>

namespace {

const CliCommand kCommands[] = {
    {"list", "list DIR [--json]          load every XLI file of DIR and print the catalogue", RunListCommand},
    {"checksum", "checksum NAME...           print the name checksum of each XLI file name", RunChecksumCommand},
#ifdef VV_WITH_VIEWER
    {"mesh-info", "mesh-info XFILE [--json]   faces, vertices and materials of an .x file", RunMeshInfoCommand},
    {"render", "render XFILE -o OUT.png    draw one frame of an .x file into a PNG, headless", RunRenderCommand},
#endif
};

void PrintUsage(std::FILE* to) {
    std::fputs("usage: vekvoxa-cli COMMAND [ARGS...]\n\ncommands:\n", to);
    for (const CliCommand& c : kCommands) std::fprintf(to, "  %s\n", c.synopsis);
    std::fputs("\n'vekvoxa-cli COMMAND --help' describes a command.\n", to);
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        PrintUsage(stderr);
        return kExitUsage;
    }
    const std::string name = argv[1];
    if (IsHelpFlag(name)) {
        PrintUsage(stdout);
        return kExitOk;
    }
    for (const CliCommand& c : kCommands) {
        if (name == c.name) return c.run(CliArgs(argv + 2, argv + argc));
    }
    std::fprintf(stderr, "vekvoxa-cli: unknown command '%s'\n\n", name.c_str());
    PrintUsage(stderr);
    return kExitUsage;
}
