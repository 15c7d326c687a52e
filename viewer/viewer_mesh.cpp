// The viewer's mesh, materials and textures, the texture-path resolution and the model switch.
#include "viewer.h"

#include "gamedir.h"
#include "sys.h"

GfxMesh* g_pMesh = nullptr;                // the loaded mesh; see viewer.h
std::uint32_t g_dwNumMaterials = 0;        // materials = subsets; see viewer.h
std::vector<XMaterial> g_DX9MtrlBuffer;    // the pending material list; see viewer.h
std::vector<GfxMaterial> g_pMeshMaterials; // per-subset materials; see viewer.h
std::vector<GfxTexture*> g_pMeshTextures;  // per-subset textures; see viewer.h
std::string XTextureDir;                   // the last resolved texture path; see viewer.h
std::string gsvScale = "0.5";              // the scale text; see viewer.h
std::string szFileName = kDefaultModelName; // the overlay's file name; see viewer.h
std::string szFile = "*.X";                // the chooser's path; see viewer.h
float ZoomFactor = -10.0f;                 // the camera's X; see viewer.h

namespace {

// Upper case of the 8-bit code page (Windows-1252) without regard to the locale: ASCII letters, the accented
// letters, and the letters with a capital elsewhere in the page (š, œ, ž, ÿ).
char UpperAnsi(char c) {
    const auto b = static_cast<unsigned char>(c);
    if (b >= 'a' && b <= 'z') return static_cast<char>(b - 0x20);
    if (b >= 0xE0 && b <= 0xFE && b != 0xF7) return static_cast<char>(b - 0x20);
    switch (b) {
    case 0x9A: return static_cast<char>(0x8A);
    case 0x9C: return static_cast<char>(0x8C);
    case 0x9E: return static_cast<char>(0x8E);
    case 0xFF: return static_cast<char>(0x9F);
    default: return c;
    }
}

bool IsBlank(char c) {
    const auto b = static_cast<unsigned char>(c);
    return b == ' ' || (b >= '\t' && b <= '\r') || b == 0xA0;
}

void ReplaceAll(std::string& s, std::string_view from, std::string_view to) {
    for (std::size_t at = s.find(from); at != std::string::npos; at = s.find(from, at + to.size()))
        s.replace(at, from.size(), to);
}

GfxColor ColorOf(const float c[4]) { return GfxColor{c[0], c[1], c[2], c[3]}; }

// Makes `dir` current and loads the mesh there. A directory that cannot be made current fails the load like a
// missing file: the name would otherwise be looked up in whatever directory happens to be current.
int LoadMeshIn(std::string_view dir, std::string_view name) {
    if (SetCurrentDir(dir)) return LoadMeshFromX(name);
    if (g_pMesh || !g_pMeshMaterials.empty() || !g_pMeshTextures.empty()) ReleaseDX9Objects();
    g_DX9MtrlBuffer.clear();
    const std::string text = LoadStringA(40017);
    ShowMessage(text, text, MsgIcon::Stop);
    return kViewerFail;
}

} // namespace

std::string GetTexturePath(std::string_view textureName) {
    std::string upper(textureName);
    for (char& c : upper) c = UpperAnsi(c);
    std::string path;
    const std::size_t marker = upper.find("SCENES\\");
    if (marker == std::string::npos) {
        path = upper;
    } else {
        std::size_t begin = marker + 6, end = upper.size();
        while (begin < end && IsBlank(upper[begin])) ++begin;
        while (end > begin && IsBlank(upper[end - 1])) --end;
        path = ".." + upper.substr(begin, end - begin);
    }
    ReplaceAll(path, ".BMP", ".DDS");
    return path;
}

int LoadMeshFromX(std::string_view szXFile) {
    if (g_pMesh || !g_pMeshMaterials.empty() || !g_pMeshTextures.empty()) ReleaseDX9Objects();
    g_DX9MtrlBuffer.clear();
    g_dwNumMaterials = 0;
    XLoadError error;
    g_pMesh = CreateMeshFromX(g_pDX9Device, szXFile, g_DX9MtrlBuffer, error);
    if (!g_pMesh) {
        g_DX9MtrlBuffer.clear();
        const std::string text = LoadStringA(40017);
        ShowMessage(text, text, MsgIcon::Stop);
        return kViewerFail;
    }
    g_dwNumMaterials = static_cast<std::uint32_t>(g_DX9MtrlBuffer.size());
    return 1;
}

void LoadMaterialFromBuffer() {
    const std::uint32_t count = g_dwNumMaterials;
    g_pMeshMaterials.assign(count, GfxMaterial{});
    g_pMeshTextures.assign(count, nullptr);
    int withoutTexture = 0;
    for (std::uint32_t i = 0; i < count; ++i) {
        const XMaterial source = i < g_DX9MtrlBuffer.size() ? g_DX9MtrlBuffer[i] : XMaterial{};
        GfxMaterial& m = g_pMeshMaterials[i];
        m.diffuse = ColorOf(source.diffuse);
        m.ambient = m.diffuse; // no light is set: the ambient term alone colours the subset
        m.specular = GfxColor{source.specular[0], source.specular[1], source.specular[2], 1.0f};
        m.emissive = GfxColor{source.emissive[0], source.emissive[1], source.emissive[2], 1.0f};
        m.power = source.power;
        if (source.textureFilename.empty()) {
            ++withoutTexture;
            continue;
        }
        XTextureDir = GetTexturePath(source.textureFilename);
        std::string why;
        g_pMeshTextures[i] = CreateTextureFromFile(g_pDX9Device, XTextureDir, why);
        if (!g_pMeshTextures[i]) ShowMessage(XTextureDir, LoadStringA(40015), MsgIcon::Exclamation);
    }
    if (withoutTexture != 0)
        ShowMessage(std::to_string(withoutTexture) + " ", LoadStringA(40016), MsgIcon::Exclamation);
    g_DX9MtrlBuffer.clear();
    g_DX9MtrlBuffer.shrink_to_fit();
}

void ReleaseDX9Objects() {
    g_pMeshMaterials.clear();
    for (GfxTexture* t : g_pMeshTextures) ReleaseTexture(t);
    g_pMeshTextures.clear();
    ReleaseMesh(g_pMesh);
    g_pMesh = nullptr;
    g_dwNumMaterials = 0;
}

void LoadModel(std::string_view xFileName, std::string_view scale, std::string_view xDir) {
    if (g_pMesh || !g_pMeshMaterials.empty() || !g_pMeshTextures.empty()) ReleaseDX9Objects();
    if (g_pDX9Device) {
        ReleaseDevice(g_pDX9Device);
        g_pDX9Device = nullptr;
    }
    InitialiseDX9(g_pRenderWindow);
    gsvScale = scale;
    szFileName = xFileName;
    if (LoadMeshIn(xDir, xFileName) == kViewerFail) {
        gsvScale = "0.5";
        szFile = kDefaultModelName;
        szFileName = szFile;
        LoadMeshIn(gVoxaDir + "\\scenes\\xfiles", szFile);
    }
    LoadMaterialFromBuffer();
    ZoomFactor = -10.0f;
    if (g_pFont) {
        ReleaseFont(g_pFont);
        g_pFont = nullptr;
    }
    InitialiseFont();
}
