// vekvoxa-cli mesh-info and render: the viewer's mesh loading and frame, headless.
#include "cli.h"

#include "gamedir.h"
#include "image.h"
#include "sys.h"
#include "viewer.h"
#include "xfile.h"

#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb/stb_image_write.h>

#include <charconv>
#include <cstdio>
#include <limits.h>
#include <unistd.h>

namespace {

const char kMeshInfoHelp[] =
    "usage: vekvoxa-cli mesh-info XFILE [--json]\n"
    "\n"
    "Loads the .x file as the viewer does and prints its face and vertex counts and, per material, its colours\n"
    "(the ambient colour is the diffuse colour, as the viewer draws it), the texture name as written in the file,\n"
    "the texture file that name stands for (relative to the X-file's directory) and whether that file loads.\n"
    "A file that does not load gives exit code 1 and the reason on stderr.\n"
    "\n"
    "  --json   one JSON object instead of the text lines\n";

const char kRenderHelp[] =
    "usage: vekvoxa-cli render XFILE -o OUT.png [options]\n"
    "\n"
    "Draws one frame of the viewer into a PNG, headless (no X server needed): the model of XFILE loaded as the\n"
    "viewer's model switch loads it (textures resolved from the X-file's directory; a file that does not load\n"
    "falls back to the default model), turned and scaled for the moment given, with the five-line overlay.\n"
    "Messages of the viewer go to stderr.\n"
    "\n"
    "  -o OUT.png       the picture to write\n"
    "  --size WxH       size of the picture in pixels (default 640x480)\n"
    "  --scale TEXT     the model's scale text (default \"0.5\": the model's own size)\n"
    "  --time-ms MS     the clock's milliseconds for the turn (default 0)\n"
    "  --zoom Z         the camera's X coordinate (default -10)\n"
    "  --game-dir DIR   the game directory the overlay shows (without it: the request to choose one)\n";

// The directory part of a path ("." when it has none) and the name part.
void SplitPath(const std::string& path, std::string& dir, std::string& name) {
    const std::size_t slash = path.find_last_of("/\\");
    if (slash == std::string::npos) {
        dir = ".";
        name = path;
    } else {
        dir = slash == 0 ? path.substr(0, 1) : path.substr(0, slash);
        name = path.substr(slash + 1);
    }
}

// The directory of the running program, as an ANSI string.
std::string ProgramDirectory() {
    char buf[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0) return GetCurrentDir();
    std::string exe(buf, static_cast<std::size_t>(n));
    std::string dir, name, ansi;
    SplitPath(exe, dir, name);
    return Utf8ToAnsi(dir, ansi) ? ansi : dir;
}

std::string ColorJson(const float* c, int n) {
    std::string o = "[";
    for (int i = 0; i < n; ++i) o += (i ? ", " : "") + JsonFloat(c[i]);
    return o + "]";
}

std::string ColorText(const float* c, int n) {
    std::string o;
    for (int i = 0; i < n; ++i) {
        char buf[32];
        std::snprintf(buf, sizeof buf, "%s%g", i ? " " : "", static_cast<double>(c[i]));
        o += buf;
    }
    return o;
}

struct MeshInfoSettings {
    std::string file; // ANSI
    bool json = false;
};

struct TextureCheck {
    std::string resolved; // ANSI, relative to the X-file's directory
    bool loaded = false;
    std::string why;
};

int WriteMeshInfo(const MeshInfoSettings& s) {
    XMesh mesh;
    XLoadError error;
    if (!LoadXFile(s.file, mesh, error)) return Failure(error.describe());

    // Texture names are resolved relative to the X-file's directory, as the model switch makes it current.
    std::string dir, name;
    SplitPath(s.file, dir, name);
    const std::string before = GetCurrentDir();
    SetCurrentDir(dir);
    std::vector<TextureCheck> checks(mesh.materials.size());
    for (std::size_t i = 0; i < mesh.materials.size(); ++i) {
        if (mesh.materials[i].textureFilename.empty()) continue;
        checks[i].resolved = GetTexturePath(mesh.materials[i].textureFilename);
        Image image;
        checks[i].loaded = LoadImageFile(checks[i].resolved, image, checks[i].why);
    }
    SetCurrentDir(before);

    if (s.json) {
        std::string o = "{\"file\": " + JsonBytes(s.file) + ", \"faces\": " + std::to_string(mesh.faceCount()) +
                        ", \"vertices\": " + std::to_string(mesh.vertexCount()) + ", \"materials\": [";
        for (std::size_t i = 0; i < mesh.materials.size(); ++i) {
            const XMaterial& m = mesh.materials[i];
            const float specular[4] = {m.specular[0], m.specular[1], m.specular[2], 1.0f};
            const float emissive[4] = {m.emissive[0], m.emissive[1], m.emissive[2], 1.0f};
            o += i ? ", " : "";
            o += "{\"faces\": " + std::to_string(mesh.subsets[i].faceCount) + ", \"diffuse\": " +
                 ColorJson(m.diffuse, 4) + ", \"ambient\": " + ColorJson(m.diffuse, 4) + ", \"specular\": " +
                 ColorJson(specular, 4) + ", \"emissive\": " + ColorJson(emissive, 4) +
                 ", \"power\": " + JsonFloat(m.power);
            if (m.textureFilename.empty()) {
                o += ", \"texture\": null, \"resolved\": null, \"loaded\": false";
            } else {
                o += ", \"texture\": " + JsonBytes(m.textureFilename) + ", \"resolved\": " +
                     JsonBytes(checks[i].resolved) + ", \"loaded\": " + (checks[i].loaded ? "true" : "false");
                if (!checks[i].loaded) o += ", \"error\": " + JsonBytes(checks[i].why);
            }
            o += "}";
        }
        o += "]}\n";
        std::fputs(o.c_str(), stdout);
        return kExitOk;
    }

    std::printf("file: %s\nfaces: %u\nvertices: %u\nmaterials: %zu\n", AnsiToUtf8(s.file).c_str(), mesh.faceCount(),
                mesh.vertexCount(), mesh.materials.size());
    for (std::size_t i = 0; i < mesh.materials.size(); ++i) {
        const XMaterial& m = mesh.materials[i];
        std::printf("material %zu: %u faces\n", i, mesh.subsets[i].faceCount);
        std::printf("  diffuse  %s\n  ambient  %s\n  specular %s\n  emissive %s\n  power    %g\n",
                    ColorText(m.diffuse, 4).c_str(), ColorText(m.diffuse, 4).c_str(),
                    ColorText(m.specular, 3).c_str(), ColorText(m.emissive, 3).c_str(),
                    static_cast<double>(m.power));
        if (m.textureFilename.empty()) {
            std::printf("  texture  none\n");
            continue;
        }
        std::printf("  texture  \"%s\"\n  resolved %s\n  loaded   %s\n", AnsiToUtf8(m.textureFilename).c_str(),
                    AnsiToUtf8(checks[i].resolved).c_str(),
                    checks[i].loaded ? "yes" : ("no (" + AnsiToUtf8(checks[i].why) + ")").c_str());
    }
    return kExitOk;
}

struct RenderSettings {
    std::string file; // ANSI
    std::string out;  // native
    int width = 640, height = 480;
    std::string scale = "0.5";
    std::uint32_t timeMs = 0;
    float zoom = -10.0f;
    bool hasGameDir = false;
    std::string gameDir; // ANSI
};

int WriteRender(const RenderSettings& s) {
    GfxWindow window;
    window.clientWidth = s.width;
    window.clientHeight = s.height;
    g_pRenderWindow = &window;
    gVoxaDir = ProgramDirectory();
    if (s.hasGameDir) {
        VekDir = s.gameDir;
        if (VekDir.back() != '/' && VekDir.back() != '\\') VekDir += '/';
        isVekDir = 1;
    }
    SetFixedClock(s.timeMs);
    const std::string out = AbsolutePath(s.out);

    std::string dir, name;
    SplitPath(s.file, dir, name);
    LoadModel(name, s.scale, dir);
    ZoomFactor = s.zoom;
    if (!g_pDX9Device) return Failure("no graphics device (neither the system's OpenGL nor Mesa's software one)");
    RenderDX9();
    const std::vector<std::uint8_t> rgba = ReadTargetPixels(g_pDX9Device);

    ReleaseViewer();
    g_pRenderWindow = nullptr;

    if (rgba.empty()) return Failure("the frame could not be read back");
    if (!stbi_write_png(out.c_str(), s.width, s.height, 4, rgba.data(), s.width * 4))
        return Failure(s.out + ": the PNG file cannot be written");
    return kExitOk;
}

bool ParseSize(const std::string& text, int& w, int& h) {
    const char* p = text.data();
    const char* end = p + text.size();
    auto r = std::from_chars(p, end, w);
    if (r.ec != std::errc() || r.ptr == end || (*r.ptr != 'x' && *r.ptr != 'X')) return false;
    auto r2 = std::from_chars(r.ptr + 1, end, h);
    return r2.ec == std::errc() && r2.ptr == end && w > 0 && h > 0 && w <= 16384 && h <= 16384;
}

} // namespace

int RunMeshInfoCommand(const CliArgs& args) {
    MeshInfoSettings s;
    bool haveFile = false;
    for (const std::string& a : args) {
        if (IsHelpFlag(a)) {
            std::fputs(kMeshInfoHelp, stdout);
            return kExitOk;
        }
    }
    for (const std::string& a : args) {
        if (a == "--json") {
            s.json = true;
        } else if (!a.empty() && a[0] == '-') {
            return UsageError("mesh-info", "unknown option '" + a + "'");
        } else if (haveFile) {
            return UsageError("mesh-info", "more than one XFILE given");
        } else {
            if (!ArgToAnsi(a, s.file)) return Failure("'" + a + "' holds characters outside Windows-1252");
            haveFile = true;
        }
    }
    if (!haveFile) return UsageError("mesh-info", "no XFILE given");
    return WriteMeshInfo(s);
}

int RunRenderCommand(const CliArgs& args) {
    for (const std::string& a : args) {
        if (IsHelpFlag(a)) {
            std::fputs(kRenderHelp, stdout);
            return kExitOk;
        }
    }
    RenderSettings s;
    bool haveFile = false, haveOut = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        const bool takesValue = a == "-o" || a == "--size" || a == "--scale" || a == "--time-ms" || a == "--zoom" ||
                                a == "--game-dir";
        if (takesValue && i + 1 >= args.size()) return UsageError("render", a + " needs a value");
        const std::string value = takesValue ? args[i + 1] : std::string();
        if (takesValue) ++i;
        if (a == "-o") {
            s.out = value;
            haveOut = !value.empty();
        } else if (a == "--size") {
            if (!ParseSize(value, s.width, s.height))
                return UsageError("render", "--size wants WIDTHxHEIGHT in pixels (1 to 16384), not '" + value + "'");
        } else if (a == "--scale") {
            if (!ArgToAnsi(value, s.scale)) return UsageError("render", "--scale holds characters outside Windows-1252");
        } else if (a == "--time-ms") {
            auto r = std::from_chars(value.data(), value.data() + value.size(), s.timeMs);
            if (r.ec != std::errc() || r.ptr != value.data() + value.size())
                return UsageError("render", "--time-ms wants milliseconds from 0 to 4294967295, not '" + value + "'");
        } else if (a == "--zoom") {
            auto r = std::from_chars(value.data(), value.data() + value.size(), s.zoom);
            if (r.ec != std::errc() || r.ptr != value.data() + value.size())
                return UsageError("render", "--zoom wants a number, not '" + value + "'");
        } else if (a == "--game-dir") {
            if (value.empty() || !ArgToAnsi(AbsolutePath(value), s.gameDir))
                return UsageError("render", "--game-dir wants a directory whose name fits Windows-1252");
            s.hasGameDir = true;
        } else if (!a.empty() && a[0] == '-') {
            return UsageError("render", "unknown option '" + a + "'");
        } else if (haveFile) {
            return UsageError("render", "more than one XFILE given");
        } else {
            if (!ArgToAnsi(a, s.file)) return Failure("'" + a + "' holds characters outside Windows-1252");
            haveFile = true;
        }
    }
    if (!haveFile) return UsageError("render", "no XFILE given");
    if (!haveOut) return UsageError("render", "no output given (-o OUT.png)");
    return WriteRender(s);
}
