#include "cli.h"

#include "sys.h"

#include <cstdio>

bool IsHelpFlag(const std::string& arg) { return arg == "--help" || arg == "-h"; }

int UsageError(const std::string& command, const std::string& message) {
    std::fprintf(stderr, "vekvoxa-cli %s: %s\n(see 'vekvoxa-cli %s --help')\n", command.c_str(), message.c_str(),
                 command.c_str());
    return kExitUsage;
}

int Failure(const std::string& message) {
    std::fprintf(stderr, "Error: %s\n", message.c_str());
    return kExitFailure;
}

bool ArgToAnsi(const std::string& arg, std::string& ansi) { return Utf8ToAnsi(arg, ansi); }
