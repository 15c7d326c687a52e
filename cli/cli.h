// vekvoxa-cli: the headless companion. Each command parses its arguments into one settings struct and calls one
// work function; exit codes: 0 success, 1 failure (with "Error: reason" on stderr), 2 usage error.
#pragma once

#include <string>
#include <string_view>
#include <vector>

enum ExitCode { kExitOk = 0, kExitFailure = 1, kExitUsage = 2 };

using CliArgs = std::vector<std::string>; // the arguments after the command's name

struct CliCommand {
    const char* name;
    const char* synopsis; // one line, shown by "vekvoxa-cli --help"
    int (*run)(const CliArgs& args);
};

// One function per command, each in its own source file (cmd_<name>.cpp).
int RunListCommand(const CliArgs& args);
int RunChecksumCommand(const CliArgs& args);
int RunMeshInfoCommand(const CliArgs& args);
int RunRenderCommand(const CliArgs& args);

// Shared helpers (cli_util.cpp).
bool IsHelpFlag(const std::string& arg);
int UsageError(const std::string& command, const std::string& message); // prints and returns kExitUsage
int Failure(const std::string& message);                                // "Error: message", returns kExitFailure
// JSON pieces: a string literal from UTF-8 text (quotes and escapes added), an 8-bit string with every byte b
// written as U+00bb, a float as the shortest decimal that reads back to the same 32-bit float.
std::string JsonString(std::string_view utf8);
std::string JsonBytes(std::string_view bytes);
std::string JsonFloat(float value);
// An absolute form of a native path given on the command line (relative to the current directory); no length
// limit. Programs change their current directory as they load, so relative paths are fixed at the start.
std::string AbsolutePath(const std::string& path);
// A command-line argument (UTF-8) as the program's 8-bit ANSI string; false when it cannot be represented.
bool ArgToAnsi(const std::string& arg, std::string& ansi);
