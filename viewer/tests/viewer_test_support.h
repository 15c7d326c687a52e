// Fixtures of the viewer tests: a scratch game-like directory with .x files and DDS textures written by the test,
// an offscreen render window, and the reset of the viewer's globals.
#pragma once

#include "gamedir.h"
#include "sys.h"
#include "viewer.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <unistd.h>

namespace viewertest {

// An uncompressed A8R8G8B8 DDS file of `w` x `h` texels, rows top first, from RGBA bytes.
inline std::string DdsBytes(std::uint32_t w, std::uint32_t h, const std::vector<std::uint8_t>& rgba) {
    std::uint32_t header[31] = {};
    header[0] = 124;
    header[1] = 0x100F; // caps, height, width, pitch, pixel format
    header[2] = h;
    header[3] = w;
    header[4] = w * 4;
    header[18] = 32;   // pixel format size
    header[19] = 0x41; // RGB with alpha
    header[21] = 32;
    header[22] = 0x00FF0000u;
    header[23] = 0x0000FF00u;
    header[24] = 0x000000FFu;
    header[25] = 0xFF000000u;
    header[26] = 0x1000; // a texture
    std::string out = "DDS ";
    out.append(reinterpret_cast<const char*>(header), sizeof header);
    for (std::size_t i = 0; i + 3 < rgba.size(); i += 4) {
        out += static_cast<char>(rgba[i + 2]);
        out += static_cast<char>(rgba[i + 1]);
        out += static_cast<char>(rgba[i]);
        out += static_cast<char>(rgba[i + 3]);
    }
    return out;
}

struct XMaterialText {
    std::string rgba = "1.0;1.0;1.0;1.0;"; // face colour
    std::string texture;                   // as written between the quotes; empty: no TextureFilename
};

// A text .x file: one box per material (material i's box is 1 unit wide, side by side along y), or, with no
// materials, a box without material list.
inline std::string BoxesX(const std::vector<XMaterialText>& materials) {
    const std::size_t boxes = materials.empty() ? 1 : materials.size();
    std::string v, f;
    int vertex = 0;
    for (std::size_t b = 0; b < boxes; ++b) {
        const float y0 = static_cast<float>(b) * 1.5f, y1 = y0 + 1.0f;
        for (int i = 0; i < 8; ++i) {
            char buf[96];
            std::snprintf(buf, sizeof buf, "%g;%g;%g;%s\n", (i & 1) ? 0.5 : -0.5, static_cast<double>((i & 2) ? y1 : y0),
                          (i & 4) ? 0.5 : -0.5, (b + 1 == boxes && i == 7) ? ";" : ",");
            v += buf;
        }
        const int q[6][4] = {{0, 1, 3, 2}, {4, 6, 7, 5}, {0, 4, 5, 1}, {2, 3, 7, 6}, {0, 2, 6, 4}, {1, 5, 7, 3}};
        for (int k = 0; k < 6; ++k) {
            char buf[96];
            std::snprintf(buf, sizeof buf, "4;%d,%d,%d,%d;%s\n", vertex + q[k][0], vertex + q[k][1], vertex + q[k][2],
                          vertex + q[k][3], (b + 1 == boxes && k == 5) ? ";" : ",");
            f += buf;
        }
        vertex += 8;
    }
    std::string x = "xof 0303txt 0032\nMesh Boxes {\n" + std::to_string(8 * boxes) + ";\n" + v +
                    std::to_string(6 * boxes) + ";\n" + f;
    if (!materials.empty()) {
        x += "MeshMaterialList {\n" + std::to_string(materials.size()) + ";\n" + std::to_string(6 * boxes) + ";\n";
        for (std::size_t b = 0; b < boxes; ++b)
            for (int k = 0; k < 6; ++k)
                x += std::to_string(b) + ((b + 1 == boxes && k == 5) ? ";\n" : ",");
        for (const XMaterialText& m : materials) {
            x += "Material {\n" + m.rgba + ";\n0.0;\n0.0;0.0;0.0;;\n0.0;0.0;0.0;;\n";
            if (!m.texture.empty()) x += "TextureFilename {\n\"" + m.texture + "\";\n}\n";
            x += "}\n";
        }
        x += "}\n";
    }
    return x + "}\n";
}

// A scratch directory laid out like a game's: DIR/scenes/xfiles and DIR/scenes/textures.
class ScratchGame {
  public:
    ScratchGame() {
        root_ = std::filesystem::temp_directory_path() /
                ("vv_viewer_" + std::to_string(::getpid()) + "_" + std::to_string(counter_++));
        std::filesystem::create_directories(root_ / "scenes" / "xfiles");
        std::filesystem::create_directories(root_ / "scenes" / "textures");
    }
    ~ScratchGame() {
        std::error_code ec;
        std::filesystem::remove_all(root_, ec);
    }
    ScratchGame(const ScratchGame&) = delete;
    ScratchGame& operator=(const ScratchGame&) = delete;

    std::string Root() const { return root_.string(); }
    std::string XDir() const { return (root_ / "scenes" / "xfiles").string(); }
    void Write(const std::string& relative, const std::string& bytes) const {
        std::ofstream(root_ / relative, std::ios::binary) << bytes;
    }

  private:
    std::filesystem::path root_;
    static inline int counter_ = 0;
};

// Every test starts and ends with an empty viewer in the English interface, the clock fixed at 0, the current
// directory restored.
class ViewerTest : public testing::Test {
  protected:
    void SetUp() override {
        SetUiLanguage(UiLanguage::English);
        SetFixedClock(0u);
        cwd_ = GetCurrentDir();
        window_.clientWidth = 300;
        window_.clientHeight = 300;
        g_pRenderWindow = &window_;
        gVoxaDir = std::string(VV_SOURCE_DIR) + "/app/resources";
        VekDir.clear();
        isVekDir = 0;
    }
    void TearDown() override {
        ReleaseViewer();
        g_pRenderWindow = nullptr;
        g_DX9MtrlBuffer.clear();
        gsvScale = "0.5";
        szFileName = kDefaultModelName;
        szFile = "*.X";
        ZoomFactor = -10.0f;
        SetFixedClock(std::nullopt);
        SetCurrentDir(cwd_);
    }
    // A device for the window, or a skipped test when the system has no OpenGL at all.
    bool NeedDevice() {
        if (InitialiseDX9(&window_) != 1) return false;
        return true;
    }

    GfxWindow window_;
    std::string cwd_;
};

#define VV_NEED_DEVICE()                                                                                      \
    do {                                                                                                      \
        MessageRecorder deviceMessages_;                                                                      \
        if (!NeedDevice()) GTEST_SKIP() << "no OpenGL device (no EGL display)";                               \
    } while (0)

} // namespace viewertest
