#include "cli.h"

#include "sys.h"

#include <charconv>
#include <filesystem>
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

std::string AbsolutePath(const std::string& path) {
    if (!path.empty() && path[0] == '/') return path;
    std::error_code ec;
    std::string cwd = std::filesystem::current_path(ec).string();
    if (ec) return path;
    if (cwd.back() != '/') cwd += '/';
    return cwd + path;
}

bool ArgToAnsi(const std::string& arg, std::string& ansi) { return Utf8ToAnsi(arg, ansi); }

std::string JsonString(std::string_view utf8) {
    std::string out = "\"";
    for (char c : utf8) {
        const auto b = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (b < 0x20) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04x", b);
            out += buf;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

std::string JsonBytes(std::string_view bytes) { return JsonString(Latin1ToUtf8(bytes)); }

std::string JsonFloat(float value) {
    char buf[32];
    const auto res = std::to_chars(buf, buf + sizeof buf, value);
    return std::string(buf, res.ptr);
}
