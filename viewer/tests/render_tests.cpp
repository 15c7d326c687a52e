// Pixels of headless frames: background, size by the scale text, the turn by the clock, back faces, alpha-0
// texels, the camera at zoom 0, and the overlay's colours and lines.
#include "viewer_test_support.h"

#include <cctype>
#include <cmath>

namespace {

using viewertest::DdsBytes;
using viewertest::ScratchGame;
using viewertest::ViewerTest;

constexpr int kSize = 300; // the test window's client size (square: no stretching)
constexpr std::uint8_t kBg[3] = {0xD4, 0xD0, 0xC8};

// A square in the plane x = 0 from y0 to y1 and z0 to z1, one material, uv (0,0) at (y1, z1).
std::string QuadX(float y0, float y1, float z0, float z1, const std::string& material) {
    char buf[512];
    std::snprintf(buf, sizeof buf,
                  "xof 0303txt 0032\nMesh Quad {\n4;\n0;%g;%g;,\n0;%g;%g;,\n0;%g;%g;,\n0;%g;%g;;\n1;\n4;0,1,2,3;;\n"
                  "MeshMaterialList {\n1;\n1;\n0;;\n%s\n}\n"
                  "MeshTextureCoords {\n4;\n0;0;,\n1;0;,\n1;1;,\n0;1;;\n}\n}\n",
                  static_cast<double>(y1), static_cast<double>(z1), static_cast<double>(y0),
                  static_cast<double>(z1), static_cast<double>(y0), static_cast<double>(z0),
                  static_cast<double>(y1), static_cast<double>(z0), material.c_str());
    return buf;
}

const char kWhite[] = "Material {\n1.0;1.0;1.0;1.0;;\n0.0;\n0.0;0.0;0.0;;\n0.0;0.0;0.0;;\n}";

class Render : public ViewerTest {
  protected:
    // Shows the model through the model switch (a device for the window comes with it) and draws one frame.
    bool Show(const std::string& name, const std::string& bytes, const std::string& scale = "0.5") {
        game_.Write("scenes/xfiles/" + name, bytes);
        MessageRecorder recorder;
        LoadModel(name, scale, game_.XDir());
        messages_ = recorder.messages;
        return g_pDX9Device != nullptr;
    }
    void Frame() {
        RenderDX9();
        pixels_ = ReadTargetPixels(g_pDX9Device);
        ASSERT_EQ(pixels_.size(), static_cast<std::size_t>(kSize * kSize * 4));
    }
    const std::uint8_t* At(int x, int y) const {
        return pixels_.data() + (static_cast<std::size_t>(y) * kSize + x) * 4;
    }
    bool IsBackground(int x, int y) const {
        const std::uint8_t* p = At(x, y);
        return p[0] == kBg[0] && p[1] == kBg[1] && p[2] == kBg[2];
    }
    bool Is(int x, int y, int r, int g, int b) const {
        const std::uint8_t* p = At(x, y);
        return p[0] == r && p[1] == g && p[2] == b;
    }
    // Pixels of exactly the colour in rows [y0, y1).
    int Count(int y0, int y1, int r, int g, int b) const {
        int n = 0;
        for (int y = y0; y < y1; ++y)
            for (int x = 0; x < kSize; ++x) n += Is(x, y, r, g, b) ? 1 : 0;
        return n;
    }
    int CoveredWidth(int y) const {
        int n = 0;
        for (int x = 0; x < kSize; ++x) n += IsBackground(x, y) ? 0 : 1;
        return n;
    }

    ScratchGame game_;
    std::vector<Message> messages_;
    std::vector<std::uint8_t> pixels_;
};

#define SHOW_OR_SKIP(...)                                                                                     \
    do {                                                                                                      \
        if (!Show(__VA_ARGS__)) GTEST_SKIP() << "no OpenGL device (no EGL display)";                          \
    } while (0)

TEST_F(Render, ScaleHalfDrawsTheModelAtItsOwnSizeAndOneAtTwice) {
    SHOW_OR_SKIP("square.x", QuadX(-1, 1, -1, 1, kWhite));
    Frame();
    for (auto [x, y] : {std::pair{0, 0}, {kSize - 1, 0}, {0, kSize - 1}, {kSize - 1, kSize - 1}})
        EXPECT_TRUE(IsBackground(x, y)) << "corner " << x << "," << y;
    EXPECT_TRUE(Is(kSize / 2, kSize / 2, 255, 255, 255));
    // One unit at 10 units' distance under 45 degrees: 1 / tan(22.5 deg) / 10 of the half width.
    const double unit = kSize / 2 / std::tan(3.14159265358979 / 8) / 10;
    const int half = CoveredWidth(kSize / 2);
    EXPECT_NEAR(half, 2 * unit, 2.0);

    gsvScale = "1.0";
    Frame();
    EXPECT_NEAR(CoveredWidth(kSize / 2), 4 * unit, 2.0);

    gsvScale = "not a number"; // factor 0: the model collapses, the overlay remains
    Frame();
    EXPECT_EQ(CoveredWidth(kSize / 2), 0);
}

TEST_F(Render, ModelTurnsOneRadianPerTwoAndAHalfSeconds) {
    // A box from x = 0.5 to 1.5 (straight ahead, behind the origin) turns a quarter counter-clockwise seen from
    // +z, to y = 0.5 .. 1.5: the camera's left.
    const std::string box = "xof 0303txt 0032\nMesh Box {\n8;\n"
                            "0.5;-0.2;-0.3;,1.5;-0.2;-0.3;,0.5;0.2;-0.3;,1.5;0.2;-0.3;,"
                            "0.5;-0.2;0.3;,1.5;-0.2;0.3;,0.5;0.2;0.3;,1.5;0.2;0.3;;\n6;\n"
                            "4;0,1,3,2;,4;4,6,7,5;,4;0,4,5,1;,4;2,3,7,6;,4;0,2,6,4;,4;1,5,7,3;;\n"
                            "MeshMaterialList {\n1;\n6;\n0,0,0,0,0,0;;\n" +
                            std::string(kWhite) + "\n}\n}\n";
    SHOW_OR_SKIP("box.x", box);
    const int centre = kSize / 2, left = kSize / 2 - 36, right = kSize / 2 + 36;
    Frame();
    EXPECT_FALSE(IsBackground(centre, centre));
    EXPECT_TRUE(IsBackground(left, centre));
    EXPECT_TRUE(IsBackground(right, centre));

    SetFixedClock(static_cast<std::uint32_t>(std::lround(2500.0 * 3.14159265358979 / 2)));
    Frame();
    EXPECT_TRUE(IsBackground(centre, centre));
    EXPECT_FALSE(IsBackground(left, centre));
    EXPECT_TRUE(IsBackground(right, centre));
}

TEST_F(Render, BackFacesAreDrawn) {
    // One quad to the camera's left; half a turn later it shows its back on the right.
    SHOW_OR_SKIP("quad.x", QuadX(0.2f, 1.2f, -0.5f, 0.5f, kWhite));
    Frame();
    EXPECT_FALSE(IsBackground(kSize / 2 - 30, kSize / 2));
    EXPECT_TRUE(IsBackground(kSize / 2 + 30, kSize / 2));
    SetFixedClock(static_cast<std::uint32_t>(std::lround(2500.0 * 3.14159265358979)));
    Frame();
    EXPECT_TRUE(IsBackground(kSize / 2 - 30, kSize / 2));
    EXPECT_FALSE(IsBackground(kSize / 2 + 30, kSize / 2));
}

TEST_F(Render, TexelsWithAlphaZeroAreNotDrawn) {
    // Two texels: transparent on the left (u = 0), red on the right.
    game_.Write("scenes/textures/half.dds", DdsBytes(2, 1, {0, 255, 0, 0, 255, 0, 0, 255}));
    const std::string material = "Material {\n1.0;1.0;1.0;1.0;;\n0.0;\n0.0;0.0;0.0;;\n0.0;0.0;0.0;;\n"
                                 "TextureFilename {\n\"scenes\\textures\\half.bmp\";\n}\n}";
    SHOW_OR_SKIP("half.x", QuadX(-1, 1, -1, 1, material));
    EXPECT_TRUE(messages_.empty()) << messages_.front().caption << ": " << messages_.front().text;
    Frame();
    EXPECT_TRUE(IsBackground(kSize / 2 - 20, kSize / 2));
    EXPECT_TRUE(Is(kSize / 2 + 20, kSize / 2, 255, 0, 0));
}

TEST_F(Render, ZoomZeroLeavesTheModelOutAndKeepsTheOverlay) {
    SHOW_OR_SKIP("square.x", QuadX(-1, 1, -1, 1, kWhite));
    ZoomFactor = 0.0f;
    Frame();
    EXPECT_TRUE(IsBackground(kSize / 2, kSize / 2));
    EXPECT_GT(Count(kSize - 100, kSize, 0x00, 0x7E, 0x4E), 50);

    ZoomFactor = 10.0f; // the other side: the square is seen from behind, still drawn
    Frame();
    EXPECT_TRUE(Is(kSize / 2, kSize / 2, 255, 255, 255));
}

TEST_F(Render, OverlayLinesAndTheRedRequestForAGameDirectory) {
    SHOW_OR_SKIP("square.x", QuadX(-1, 1, -1, 1, kWhite));
    Frame();
    const int green = Count(kSize - 100, kSize - 40, 0x00, 0x7E, 0x4E);
    EXPECT_GT(green, 100);                                     // three counted lines
    EXPECT_GT(Count(kSize - 40, kSize - 20, 0xFF, 0x00, 0x00), 50); // the fourth line in red
    EXPECT_EQ(Count(kSize - 40, kSize - 20, 0x00, 0x7E, 0x4E), 0);
    EXPECT_GT(Count(kSize - 20, kSize, 0x00, 0x7E, 0x4E), 20); // the file name
    EXPECT_EQ(Count(0, kSize - 100, 0x00, 0x7E, 0x4E), 0);     // nothing above the overlay
    // The overlay starts 10 pixels from the left edge.
    for (int y = kSize - 100; y < kSize; ++y)
        for (int x = 0; x < 10; ++x) ASSERT_TRUE(IsBackground(x, y)) << x << "," << y;

    isVekDir = 1;
    VekDir = "/games/vek/";
    Frame();
    EXPECT_EQ(Count(0, kSize, 0xFF, 0x00, 0x00), 0);
    EXPECT_GT(Count(kSize - 40, kSize - 20, 0x00, 0x7E, 0x4E), 30);
}

TEST_F(Render, OverlayFollowsTheWindowsClientSize) {
    SHOW_OR_SKIP("square.x", QuadX(-1, 1, -1, 1, kWhite));
    window_.clientHeight = kSize / 2; // the window shrank after the device was made: the overlay moves up
    Frame();
    EXPECT_GT(Count(kSize / 2 - 40, kSize / 2 - 20, 0xFF, 0x00, 0x00), 50);
    EXPECT_EQ(Count(kSize - 40, kSize - 20, 0xFF, 0x00, 0x00), 0);
}

// Files made by other exporters: every one is shown (or replaced by the default model) without a crash, and a
// textured, skinned character appears with its texture.
TEST_F(Render, PeerModelsAreShownWithoutFault) {
    const std::filesystem::path peers = VV_PEER_MODELS;
    if (!std::filesystem::is_directory(peers)) GTEST_SKIP() << "no peer models at " << peers;
    int shown = 0;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(peers)) {
        std::string ext = entry.path().extension().string();
        for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if (!entry.is_regular_file() || ext != ".x") continue;
        SCOPED_TRACE(entry.path().string());
        MessageRecorder recorder;
        LoadModel(entry.path().filename().string(), "0.5", entry.path().parent_path().string());
        if (!g_pDX9Device) GTEST_SKIP() << "no OpenGL device";
        Frame();
        ++shown;
    }
    EXPECT_GT(shown, 10);

    const std::filesystem::path tiny = peers / "dxsdk-media" / "Tiny";
    if (!std::filesystem::exists(tiny / "tiny.x")) return;
    MessageRecorder recorder;
    LoadModel("tiny.x", "0.006", tiny.string());
    EXPECT_TRUE(recorder.messages.empty()) << recorder.messages.front().caption;
    ASSERT_EQ(g_dwNumMaterials, 1u);
    EXPECT_NE(g_pMeshTextures[0], nullptr);
    Frame();
    EXPECT_GT(kSize * (kSize - 100) - [&] {
        int background = 0;
        for (int y = 0; y < kSize - 100; ++y)
            for (int x = 0; x < kSize; ++x) background += IsBackground(x, y) ? 1 : 0;
        return background;
    }(), 1000);
}

} // namespace
