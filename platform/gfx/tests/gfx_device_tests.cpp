// The OpenGL device: the matrix helpers against the right-handed definitions, and pixels of headless frames drawn
// with meshes built in code (states, materials, textures, font).
#define GL_GLEXT_PROTOTYPES 1
#include <GL/gl.h>
#include <GL/glext.h>

#include "gfx.h"

#include "sys.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

namespace {

constexpr float kPi = 3.14159265f;

// ---------------------------------------------------------------------------------------------------------------
// Matrices

TEST(Matrix, CameraOfTheViewerPutsKnownPointsOnScreen) {
    // The viewer's camera: eye (-10, 0, 0) looking at the origin with z up, 45 degrees, aspect 1, planes 1 and 5000.
    const float eye[3] = {-10, 0, 0}, at[3] = {0, 0, 0}, up[3] = {0, 0, 1};
    const GfxMatrix vp = MatrixMultiply(MatrixLookAtRH(eye, at, up), MatrixPerspectiveFovRH(kPi / 4, 1, 1, 5000));
    const float k = 1.0f / std::tan(kPi / 8) / 10.0f; // 0.2414: one unit at the origin's distance
    struct Case {
        float in[3];
        float x, y;
    } cases[] = {
        {{0, 0, 0}, 0, 0},
        {{0, -1, 0}, k, 0}, // seen from -x with z up, -y is to the right
        {{0, 1, 0}, -k, 0},
        {{0, 0, 1}, 0, k},
        {{5, 0, 1}, 0, 1.0f / std::tan(kPi / 8) / 15.0f}, // farther: smaller
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.in[0] << "," << c.in[1] << "," << c.in[2]);
        float out[3];
        TransformCoord(vp, c.in, out);
        EXPECT_NEAR(out[0], c.x, 1e-5);
        EXPECT_NEAR(out[1], c.y, 1e-5);
        EXPECT_GT(out[2], 0.0f);
        EXPECT_LT(out[2], 1.0f);
    }
    // Depth runs from 0 at the near plane to 1 at the far plane.
    float n[3], f[3];
    const float nearPoint[3] = {-9, 0, 0}, farPoint[3] = {4990, 0, 0};
    TransformCoord(vp, nearPoint, n);
    TransformCoord(vp, farPoint, f);
    EXPECT_NEAR(n[2], 0.0f, 1e-6);
    EXPECT_NEAR(f[2], 1.0f, 1e-5);
}

TEST(Matrix, RotationScalingAndProductFollowRowVectors) {
    float out[3];
    const float x[3] = {1, 0, 0};
    TransformCoord(MatrixRotationZ(kPi / 2), x, out); // +x turns towards +y
    EXPECT_NEAR(out[0], 0, 1e-6);
    EXPECT_NEAR(out[1], 1, 1e-6);
    // Scaling first, then the turn, then a move: (1,0,0) -> (2,0,0) -> (0,2,0) -> (0,2,3).
    GfxMatrix move;
    move.m[14] = 3;
    const GfxMatrix m = MatrixMultiply(MatrixMultiply(MatrixScaling(2, 2, 2), MatrixRotationZ(kPi / 2)), move);
    TransformCoord(m, x, out);
    EXPECT_NEAR(out[0], 0, 1e-5);
    EXPECT_NEAR(out[1], 2, 1e-5);
    EXPECT_NEAR(out[2], 3, 1e-5);
}

// ---------------------------------------------------------------------------------------------------------------
// Frames

constexpr int kSize = 64;

// A square in the plane x = 0 covering y and z from -1 to 1, as one subset; uv (0,0) at the top left as seen from
// the camera (+y, +z), (1,1) at the bottom right (-y, -z). `reversed` flips the winding.
XMesh Square(bool reversed = false) {
    XMesh m;
    auto v = [](float y, float z, float u, float vv) {
        XVertex x;
        x.position[1] = y;
        x.position[2] = z;
        x.uv[0] = u;
        x.uv[1] = vv;
        return x;
    };
    m.vertices = {v(1, 1, 0, 0), v(-1, 1, 1, 0), v(-1, -1, 1, 1), v(1, -1, 0, 1)};
    m.indices = reversed ? std::vector<std::uint32_t>{0, 2, 1, 0, 3, 2} : std::vector<std::uint32_t>{0, 1, 2, 0, 2, 3};
    m.subsets = {XSubset{0, 2}};
    m.materials.resize(1);
    return m;
}

GfxMaterial Colour(float r, float g, float b, float a) {
    GfxMaterial m;
    m.diffuse = m.ambient = GfxColor{r, g, b, a};
    return m;
}

struct Pixel {
    int r, g, b, a;
};

class Frame : public testing::Test {
  protected:
    void SetUp() override {
        GfxWindow w;
        w.clientWidth = w.clientHeight = kSize;
        std::string why;
        device_ = CreateDevice(w, &why);
        if (!device_) GTEST_SKIP() << "no OpenGL device: " << why;
        SetRenderState(device_, GfxState::Ambient, 0xFFFFFFFFu);
        SetRenderState(device_, GfxState::CullMode, 1);
        SetRenderState(device_, GfxState::AlphaTestEnable, 1);
        SetRenderState(device_, GfxState::AlphaRef, 1);
        SetRenderState(device_, GfxState::AlphaFunc, kCmpGreaterEqual);
        SetRenderState(device_, GfxState::AlphaBlendEnable, 1);
        SetRenderState(device_, GfxState::SrcBlend, kBlendSrcAlpha);
        SetRenderState(device_, GfxState::DestBlend, kBlendInvSrcAlpha);
        const float eye[3] = {-10, 0, 0}, at[3] = {0, 0, 0}, up[3] = {0, 0, 1};
        SetViewTransform(device_, MatrixLookAtRH(eye, at, up));
        // Scale 4: the square covers the middle of the target (+-0.966 in normalised coordinates).
        SetWorldTransform(device_, MatrixScaling(4, 4, 4));
        SetProjectionTransform(device_, MatrixPerspectiveFovRH(kPi / 4, 1, 1, 5000));
        ClearTarget(device_, 0xFF102030u, 1.0f);
    }
    void TearDown() override { ReleaseDevice(device_); }

    void Draw(const XMesh& mesh, const GfxMaterial& material, const GfxTexture* texture = nullptr) {
        GfxMesh* m = CreateMesh(device_, mesh);
        ASSERT_NE(m, nullptr);
        SetMaterial(device_, material);
        SetTexture(device_, texture);
        DrawSubset(device_, m, 0);
        ReleaseMesh(m);
        pixels_ = ReadTargetPixels(device_);
    }
    Pixel At(int x, int y) const {
        const std::uint8_t* p = pixels_.data() + (static_cast<std::size_t>(y) * kSize + x) * 4;
        return Pixel{p[0], p[1], p[2], p[3]};
    }
    void ExpectPixel(int x, int y, int r, int g, int b) const {
        const Pixel p = At(x, y);
        EXPECT_NEAR(p.r, r, 2) << "at " << x << "," << y;
        EXPECT_NEAR(p.g, g, 2) << "at " << x << "," << y;
        EXPECT_NEAR(p.b, b, 2) << "at " << x << "," << y;
    }

    GfxDevice* device_ = nullptr;
    std::vector<std::uint8_t> pixels_;
};

TEST_F(Frame, ClearFillsTheTargetWithTheColour) {
    pixels_ = ReadTargetPixels(device_);
    ASSERT_EQ(pixels_.size(), static_cast<std::size_t>(kSize * kSize * 4));
    ExpectPixel(0, 0, 0x10, 0x20, 0x30);
    ExpectPixel(kSize - 1, kSize - 1, 0x10, 0x20, 0x30);
}

TEST_F(Frame, SubsetShowsAmbientTimesGlobalAmbientPlusEmissive) {
    GfxMaterial m = Colour(1, 0, 0, 1);
    m.ambient = GfxColor{0.2f, 0.4f, 0.8f, 1};
    m.emissive = GfxColor{0.4f, 0, 0, 1};
    SetRenderState(device_, GfxState::Ambient, 0xFF808080u); // half grey
    Draw(Square(), m);
    ExpectPixel(32, 32, static_cast<int>(255 * (0.4 + 0.1)), static_cast<int>(255 * 0.2), static_cast<int>(255 * 0.4));
}

TEST_F(Frame, BothWindingsAreDrawnWithoutCullingAndOneIsCulledWithIt) {
    Draw(Square(false), Colour(0, 1, 0, 1));
    ExpectPixel(32, 32, 0, 255, 0);
    ClearTarget(device_, 0xFF102030u, 1.0f);
    Draw(Square(true), Colour(0, 1, 0, 1));
    ExpectPixel(32, 32, 0, 255, 0);

    SetRenderState(device_, GfxState::CullMode, 3);
    int drawn = 0;
    for (bool reversed : {false, true}) {
        ClearTarget(device_, 0xFF102030u, 1.0f);
        Draw(Square(reversed), Colour(0, 1, 0, 1));
        drawn += At(32, 32).g == 255 ? 1 : 0;
    }
    EXPECT_EQ(drawn, 1);
}

TEST_F(Frame, AlphaZeroIsDiscardedAndOtherAlphaIsBlended) {
    // The untextured default material of an .x file has diffuse alpha 0: not drawn at all.
    Draw(Square(), Colour(0.5f, 0.5f, 0.5f, 0.0f));
    ExpectPixel(32, 32, 0x10, 0x20, 0x30);
    Draw(Square(), Colour(1, 1, 1, 0.5f));
    ExpectPixel(32, 32, (255 + 0x10) / 2, (255 + 0x20) / 2, (255 + 0x30) / 2);
}

TEST_F(Frame, TextureModulatesTakesItsAlphaAndStartsAtTheTopRow) {
    // 2x2 texels: top row red (left) and transparent (right), bottom row blue and white.
    const std::uint8_t rgba[] = {255, 0, 0, 255, 0, 255, 0, 0, 0, 0, 255, 255, 255, 255, 255, 255};
    GfxTexture* t = CreateTexture(device_, 2, 2, rgba);
    ASSERT_NE(t, nullptr);
    // The material's alpha does not count once a texture is set: the texel's alpha does.
    Draw(Square(), Colour(1, 1, 0.5f, 0.0f), t);
    ExpectPixel(20, 20, 255, 0, 0);             // top left: red
    ExpectPixel(44, 20, 0x10, 0x20, 0x30);      // top right: alpha 0, not drawn
    ExpectPixel(20, 44, 0, 0, 128);             // bottom left: blue x (1, 1, 0.5)
    ExpectPixel(44, 44, 255, 255, 128);         // bottom right: white x material
    ReleaseTexture(t);
}

TEST_F(Frame, MeshWithIndicesOrSubsetsOutsideItsArraysIsRefused) {
    XMesh badIndex = Square();
    badIndex.indices[4] = 4;
    XMesh badSubset = Square();
    badSubset.subsets[0].faceCount = 3;
    XMesh partial = Square();
    partial.indices.pop_back();
    for (const XMesh* m : {&badIndex, &badSubset, &partial}) EXPECT_EQ(CreateMesh(device_, *m), nullptr);
    GfxMesh* good = CreateMesh(device_, Square());
    ASSERT_NE(good, nullptr);
    EXPECT_EQ(GetMeshFaceCount(good), 2u);
    EXPECT_EQ(GetMeshVertexCount(good), 4u);
    DrawSubset(device_, good, 1); // no such subset: nothing drawn
    ReleaseMesh(good);
}

TEST_F(Frame, DepthTestKeepsTheNearerSurface) {
    Draw(Square(), Colour(1, 0, 0, 1));
    GfxMatrix nearer = MatrixScaling(4, 4, 4);
    nearer.m[12] = -2; // two units towards the camera
    SetWorldTransform(device_, nearer);
    Draw(Square(), Colour(0, 0, 1, 1));
    SetWorldTransform(device_, MatrixScaling(4, 4, 4));
    Draw(Square(), Colour(0, 1, 0, 1)); // behind the blue one: hidden
    ExpectPixel(32, 32, 0, 0, 255);
}

TEST_F(Frame, FontDrawsTheColourFromTheTopLeftOfTheRectangle) {
    GfxFont* font = CreateFont(device_, 20, 600, "Arial");
    ASSERT_NE(font, nullptr) << "no font (fonts-liberation2 missing?)";
    EXPECT_GT(GetTextWidth(font, "Hallo"), GetTextWidth(font, "Hal"));
    DrawText(device_, font, "W", GfxRect{10, 20, 11, 21}, 0xFF007E4Eu); // unclipped: the rectangle is 1x1
    pixels_ = ReadTargetPixels(device_);
    int top = kSize, bottom = -1, left = kSize, exact = 0;
    for (int y = 0; y < kSize; ++y) {
        for (int x = 0; x < kSize; ++x) {
            const Pixel p = At(x, y);
            if (p.r == 0x10 && p.g == 0x20 && p.b == 0x30) continue;
            top = std::min(top, y);
            bottom = std::max(bottom, y);
            left = std::min(left, x);
            if (p.r == 0 && p.g == 0x7E && p.b == 0x4E) ++exact;
        }
    }
    EXPECT_GT(exact, 10);     // solid strokes in the text colour
    EXPECT_GE(top, 20);       // nothing above the rectangle's top
    EXPECT_LE(top, 26);       // a capital starts near the top of the cell
    EXPECT_LT(bottom, 40);    // within the 20-pixel cell
    EXPECT_GE(bottom, 33);    // ... and fills most of it
    EXPECT_GE(left, 10);
    EXPECT_LE(left, 12);
    ReleaseFont(font);
}

TEST(Device, ObjectsOutliveTheirDeviceSafely) {
    GfxWindow w;
    w.clientWidth = w.clientHeight = 16;
    GfxDevice* d = CreateDevice(w);
    if (!d) GTEST_SKIP() << "no OpenGL device";
    GfxMesh* mesh = CreateMesh(d, Square());
    GfxFont* font = CreateFont(d, 20, 600, "Arial");
    ReleaseDevice(d); // the font and the mesh are released after their device, as the viewer's shutdown does
    ReleaseFont(font);
    ReleaseMesh(mesh);
    // A second device works as the first did.
    d = CreateDevice(w);
    ASSERT_NE(d, nullptr);
    ClearTarget(d, 0xFFFF0000u, 1.0f);
    EXPECT_EQ(ReadTargetPixels(d)[0], 255);
    ReleaseDevice(d);
}

TEST(Device, WindowDeviceStretchesItsBackBufferOverTheWindow) {
    // The UI layer's part, played by the test: a current context (of an offscreen device) and a 32 x 16 pixel
    // framebuffer standing for a window that has grown since the device was made for its 4 x 4 client area.
    GfxWindow host;
    host.clientWidth = host.clientHeight = 4;
    GfxDevice* owner = CreateDevice(host);
    if (!owner) GTEST_SKIP() << "no OpenGL device";
    GLuint fb = 0, rb = 0;
    glGenFramebuffers(1, &fb);
    glGenRenderbuffers(1, &rb);
    glBindRenderbuffer(GL_RENDERBUFFER, rb);
    glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, 32, 16);
    glBindFramebuffer(GL_FRAMEBUFFER, fb);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, rb);
    int presented = 0;
    GfxWindowContext context;
    context.makeCurrent = [] { return true; };
    context.framebuffer = [&] { return fb; };
    context.size = [](int& w, int& h) { w = 32; h = 16; };
    context.present = [&] { ++presented; };
    context.contextKey = 42;
    GfxWindow window;
    window.clientWidth = window.clientHeight = 4;
    window.context = &context;

    GfxDevice* d = CreateDevice(window);
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(GetDeviceKind(d), GfxDeviceKind::Window);
    // The toolkit's state, which the frame must leave as it found it.
    glBindFramebuffer(GL_FRAMEBUFFER, fb);
    glViewport(1, 2, 3, 4);
    glEnable(GL_CULL_FACE);
    glDisable(GL_DEPTH_TEST);
    ClearTarget(d, 0xFFFF0000u, 1.0f);
    BeginScene(d); // the back buffer is bound: paint its left half green
    glEnable(GL_SCISSOR_TEST);
    glScissor(0, 0, 2, 4);
    glClearColor(0, 1, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    glDisable(GL_SCISSOR_TEST);
    EndScene(d);
    Present(d);
    EXPECT_EQ(presented, 1);
    GLint bound = 0, viewport[4] = {};
    glGetIntegerv(GL_DRAW_FRAMEBUFFER_BINDING, &bound);
    glGetIntegerv(GL_VIEWPORT, viewport);
    EXPECT_EQ(static_cast<GLuint>(bound), fb);
    EXPECT_EQ(viewport[0], 1);
    EXPECT_EQ(viewport[3], 4);
    EXPECT_TRUE(glIsEnabled(GL_CULL_FACE));
    EXPECT_FALSE(glIsEnabled(GL_DEPTH_TEST));

    std::vector<std::uint8_t> windowPixels(32 * 16 * 4);
    glBindFramebuffer(GL_FRAMEBUFFER, fb);
    glReadPixels(0, 0, 32, 16, GL_RGBA, GL_UNSIGNED_BYTE, windowPixels.data());
    auto at = [&](int x, int y) { return windowPixels.data() + (y * 32 + x) * 4; };
    for (int y : {1, 8, 14}) {
        EXPECT_EQ(at(4, y)[1], 255) << "left quarter green at row " << y;
        EXPECT_EQ(at(4, y)[0], 0);
        EXPECT_EQ(at(27, y)[0], 255) << "right quarter red at row " << y;
        EXPECT_EQ(at(27, y)[1], 0);
    }
    ReleaseDevice(d); // the window's context stays: the owner still draws
    ClearTarget(owner, 0xFF0000FFu, 1.0f);
    EXPECT_EQ(ReadTargetPixels(owner)[2], 255);
    glDeleteFramebuffers(1, &fb);
    glDeleteRenderbuffers(1, &rb);
    ReleaseDevice(owner);
}

TEST(Device, NullDeviceIsHarmless) {
    ClearTarget(nullptr, 0, 1);
    BeginScene(nullptr);
    SetRenderState(nullptr, GfxState::ZEnable, 1);
    DrawSubset(nullptr, nullptr, 0);
    DrawText(nullptr, nullptr, "x", GfxRect{}, 0);
    EndScene(nullptr);
    Present(nullptr);
    EXPECT_TRUE(ReadTargetPixels(nullptr).empty());
    EXPECT_EQ(CreateMesh(nullptr, Square()), nullptr);
    EXPECT_EQ(CreateFont(nullptr, 20, 600, "Arial"), nullptr);
}

TEST(Clock, FixedValueStandsForTheSystemClock) {
    SetFixedClock(12345u);
    EXPECT_EQ(GetClockMs(), 12345u);
    SetFixedClock(std::nullopt);
    EXPECT_NEAR(static_cast<double>(GetClockMs()), static_cast<double>(GetTickMs()), 1000.0);
}

} // namespace
