// vekvoxa-cli checksum NAME...: the name checksum that an XLI file of that name carries in its header.
#include "cli.h"

#include "catalogue.h"

#include <cstdio>

namespace {

const char kHelp[] = "usage: vekvoxa-cli checksum NAME...\n"
                     "\n"
                     "Prints one line per NAME: the name checksum of an XLI file of that name (the first header\n"
                     "number), a tab, and the name. Directories and the extension do not count: abc.xli, abc and\n"
                     "dir/abc.xli give the same number.\n";

} // namespace

int RunChecksumCommand(const CliArgs& args) {
    if (!args.empty() && IsHelpFlag(args.front())) {
        std::fputs(kHelp, stdout);
        return kExitOk;
    }
    if (args.empty()) return UsageError("checksum", "no NAME given");
    int result = kExitOk;
    for (const std::string& name : args) {
        std::string ansi;
        if (!ArgToAnsi(name, ansi)) {
            result = Failure("'" + name + "' holds characters that an XLI file name cannot hold (Windows-1252 only)");
            continue;
        }
        std::printf("%d\t%s\n", CalcXLIChecksumFromPath(ansi), name.c_str());
    }
    return result;
}
