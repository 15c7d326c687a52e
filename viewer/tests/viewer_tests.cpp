// The viewer's loading: texture-path resolution, the scale text, materials and textures with their messages, and
// the model switch with its fallback to the default model.
#include "viewer_test_support.h"

#include <clocale>

namespace {

using viewertest::BoxesX;
using viewertest::DdsBytes;
using viewertest::ScratchGame;
using viewertest::ViewerTest;

TEST(GetTexturePath, RewritesTheGamesNamesToItsDdsFiles) {
    struct Case {
        const char* name;
        const char* path;
    } cases[] = {
        {"scenes\\textures\\wagon_01.bmp", "..\\TEXTURES\\WAGON_01.DDS"},
        {"C:\\Games\\Scenes\\Tex\\Roof.Bmp", "..\\TEX\\ROOF.DDS"},  // marker in any case; drive and dirs dropped
        {"scenes\\textures\\a.bmp.bmp", "..\\TEXTURES\\A.DDS.DDS"}, // every ".BMP"
        {"scenes\\textures\\a.BMPX", "..\\TEXTURES\\A.DDSX"},
        {"scenes\\textures\\a.dds", "..\\TEXTURES\\A.DDS"},
        {"scenes\\textures\\a.tga", "..\\TEXTURES\\A.TGA"},
        {"old_scenes\\scenes\\t.bmp", "..\\SCENES\\T.DDS"},         // the first occurrence counts
        {"scenes\\textures\\x.bmp \t", "..\\TEXTURES\\X.DDS"},      // white space at the end stripped
        {"scenes\\\\textures\\\\x.bmp", "..\\\\TEXTURES\\\\X.DDS"}, // doubled separators stay doubled
        {"scenes\\textures\\\xe4pfel.bmp", "..\\TEXTURES\\\xc4PFEL.DDS"}, // Windows-1252 letters upper-cased
        // Without the marker: the name as written, upper-cased, ".BMP" replaced, relative to the X-file.
        {"roof.bmp", "ROOF.DDS"},
        {"tex\\roof.bmp", "TEX\\ROOF.DDS"},
        {"scenes/textures/roof.bmp", "SCENES/TEXTURES/ROOF.DDS"},
        {"scenesX\\roof.bmp", "SCENESX\\ROOF.DDS"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(GetTexturePath(c.name), c.path);
    }
    // No length limit: a long name is resolved whole.
    const std::string longName = "scenes\\" + std::string(400, 'a') + ".bmp";
    EXPECT_EQ(GetTexturePath(longName), "..\\" + std::string(400, 'A') + ".DDS");
}

TEST(GetScaleValue, ReadsLikeAtofInTheCLocale) {
    struct Case {
        const char* text;
        double value;
    } cases[] = {
        {"0.5", 0.5}, {"1.0", 1.0}, {" \t2.25", 2.25}, {"1.5abc", 1.5}, {"1,5", 1.0},
        {"abc", 0.0}, {"", 0.0},     {"-3", -3.0},     {"+.5", 0.5},    {"1e1", 10.0},
    };
    // A German process locale (as a GUI toolkit sets it) must not turn the decimal point into a comma.
    const std::string before = std::setlocale(LC_NUMERIC, nullptr);
    std::setlocale(LC_NUMERIC, "de_DE.UTF-8");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_DOUBLE_EQ(GetScaleValue(c.text), c.value);
    }
    std::setlocale(LC_NUMERIC, before.c_str());
}

TEST(ViewerGlobals, StartAsTheProgramStarts) {
    EXPECT_EQ(g_pDX9Device, nullptr);
    EXPECT_EQ(g_pFont, nullptr);
    EXPECT_EQ(g_pMesh, nullptr);
    EXPECT_EQ(g_dwNumMaterials, 0u);
    EXPECT_TRUE(g_pMeshMaterials.empty());
    EXPECT_TRUE(g_pMeshTextures.empty());
    EXPECT_EQ(gsvScale, "0.5");
    EXPECT_EQ(szFileName, "VekVoxa.x");
    EXPECT_EQ(szFile, "*.X");
    EXPECT_FLOAT_EQ(ZoomFactor, -10.0f);
    EXPECT_EQ(isVekDir, 0);
    EXPECT_TRUE(VekDir.empty());
}

class Loading : public ViewerTest {};

TEST_F(Loading, ThreeMaterialsReportTheMissingTextureAndTheUntexturedCount) {
    VV_NEED_DEVICE();
    ScratchGame game;
    game.Write("scenes/textures/A.dds", DdsBytes(1, 1, {255, 0, 0, 255}));
    game.Write("scenes/xfiles/three.x",
               BoxesX({{"0.2;0.4;0.6;0.8;", "scenes\\textures\\a.bmp"},
                       {"1.0;1.0;1.0;1.0;", "scenes\\textures\\missing.bmp"},
                       {"0.5;0.5;0.5;1.0;", ""}}));
    ASSERT_TRUE(SetCurrentDir(game.XDir()));
    MessageRecorder recorder;
    ASSERT_EQ(LoadMeshFromX("three.x"), 1);
    EXPECT_TRUE(g_DX9MtrlBuffer.size() == 3);
    LoadMaterialFromBuffer();

    ASSERT_EQ(recorder.messages.size(), 2u);
    EXPECT_EQ(recorder.messages[0].caption, "Texture not found!");
    EXPECT_EQ(recorder.messages[0].text, "..\\TEXTURES\\MISSING.DDS");
    EXPECT_EQ(recorder.messages[0].icon, MsgIcon::Exclamation);
    EXPECT_EQ(recorder.messages[1].caption, "Material(s) without a texture found");
    EXPECT_EQ(recorder.messages[1].text, "1 ");
    EXPECT_EQ(recorder.messages[1].icon, MsgIcon::Exclamation);

    ASSERT_EQ(g_dwNumMaterials, 3u);
    ASSERT_EQ(g_pMeshTextures.size(), 3u);
    EXPECT_NE(g_pMeshTextures[0], nullptr);
    EXPECT_EQ(g_pMeshTextures[1], nullptr);
    EXPECT_EQ(g_pMeshTextures[2], nullptr);
    EXPECT_EQ(XTextureDir, "..\\TEXTURES\\MISSING.DDS"); // the last one resolved
    EXPECT_TRUE(g_DX9MtrlBuffer.empty());
    EXPECT_EQ(GetMeshFaceCount(g_pMesh), 36u);
    EXPECT_EQ(GetMeshVertexCount(g_pMesh), 24u);
    // Ambient is the diffuse colour, whatever the file says.
    ASSERT_EQ(g_pMeshMaterials.size(), 3u);
    const GfxMaterial& m = g_pMeshMaterials[0];
    EXPECT_FLOAT_EQ(m.ambient.r, 0.2f);
    EXPECT_FLOAT_EQ(m.ambient.g, 0.4f);
    EXPECT_FLOAT_EQ(m.ambient.b, 0.6f);
    EXPECT_FLOAT_EQ(m.ambient.a, 0.8f);
    EXPECT_FLOAT_EQ(m.diffuse.a, 0.8f);

    ReleaseDX9Objects();
    EXPECT_EQ(g_pMesh, nullptr);
    EXPECT_TRUE(g_pMeshMaterials.empty());
    EXPECT_TRUE(g_pMeshTextures.empty());
    EXPECT_NE(g_pDX9Device, nullptr); // the device stays
}

TEST_F(Loading, ZeroMaterialsLoadWithoutAnyMessage) {
    MessageRecorder recorder;
    g_dwNumMaterials = 0;
    g_DX9MtrlBuffer.clear();
    LoadMaterialFromBuffer();
    EXPECT_TRUE(recorder.messages.empty());
    EXPECT_TRUE(g_pMeshMaterials.empty());
    EXPECT_TRUE(g_pMeshTextures.empty());
}

TEST_F(Loading, FileWithoutMaterialListGetsTheDefaultMaterial) {
    VV_NEED_DEVICE();
    ScratchGame game;
    game.Write("scenes/xfiles/plain.x", BoxesX({}));
    ASSERT_TRUE(SetCurrentDir(game.XDir()));
    MessageRecorder recorder;
    ASSERT_EQ(LoadMeshFromX("PLAIN.X"), 1); // names are found without regard to case
    LoadMaterialFromBuffer();
    ASSERT_EQ(g_dwNumMaterials, 1u);
    EXPECT_FLOAT_EQ(g_pMeshMaterials[0].ambient.r, 0.5f);
    EXPECT_FLOAT_EQ(g_pMeshMaterials[0].ambient.a, 0.0f); // drawn by nobody: alpha 0 fails the alpha test
    ASSERT_EQ(recorder.messages.size(), 1u);
    EXPECT_EQ(recorder.messages[0].text, "1 ");
}

TEST_F(Loading, InvalidFileShowsXFileNotFoundAndTheDefaultModel) {
    ScratchGame game;
    game.Write("scenes/xfiles/broken.x", "xof 0303txt 0032\nMesh { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,1,7;; }\n");
    MessageRecorder recorder;
    LoadModel("broken.x", "1.0", game.XDir());
    if (!g_pDX9Device) GTEST_SKIP() << "no OpenGL device";

    ASSERT_GE(recorder.messages.size(), 1u);
    EXPECT_EQ(recorder.messages[0].caption, "X-file not found!");
    EXPECT_EQ(recorder.messages[0].text, "X-file not found!");
    EXPECT_EQ(recorder.messages[0].icon, MsgIcon::Stop);
    for (std::size_t i = 1; i < recorder.messages.size(); ++i)
        EXPECT_NE(recorder.messages[i].caption, "X-file not found!") << "the default model did not load";
    EXPECT_EQ(szFileName, "VekVoxa.x");
    EXPECT_EQ(szFile, "VekVoxa.x");
    EXPECT_EQ(gsvScale, "0.5");
    EXPECT_FLOAT_EQ(ZoomFactor, -10.0f);
    EXPECT_NE(g_pMesh, nullptr);
    EXPECT_GE(g_dwNumMaterials, 2u);
    EXPECT_NE(g_pFont, nullptr);
    EXPECT_EQ(DiskPath(GetCurrentDir()), DiskPath(gVoxaDir + "/scenes/xfiles"));
    // The default model's textured material found its texture.
    bool textured = false;
    for (GfxTexture* t : g_pMeshTextures) textured = textured || t != nullptr;
    EXPECT_TRUE(textured);
}

TEST_F(Loading, SwitchSetsScaleNameZoomAndDirectory) {
    ScratchGame game;
    game.Write("scenes/textures/a.dds", DdsBytes(1, 1, {255, 0, 0, 255}));
    game.Write("scenes/xfiles/one.x", BoxesX({{"1.0;1.0;1.0;1.0;", "scenes\\textures\\a.bmp"}}));
    ZoomFactor = 3.0f;
    MessageRecorder recorder;
    LoadModel("one.x", "0.25", game.XDir());
    if (!g_pDX9Device) GTEST_SKIP() << "no OpenGL device";
    EXPECT_TRUE(recorder.messages.empty());
    EXPECT_EQ(szFileName, "one.x");
    EXPECT_EQ(gsvScale, "0.25");
    EXPECT_FLOAT_EQ(ZoomFactor, -10.0f);
    EXPECT_EQ(g_dwNumMaterials, 1u);
    EXPECT_NE(g_pMeshTextures[0], nullptr);
    EXPECT_EQ(DiskPath(GetCurrentDir()), DiskPath(game.XDir()));

    // A second switch replaces device, model and font.
    LoadModel("one.x", "0.5", game.XDir());
    EXPECT_EQ(g_dwNumMaterials, 1u);
    EXPECT_NE(g_pFont, nullptr);
    RenderDX9();
}

TEST_F(Loading, MissingDirectoryIsAFailedLoadNotALookupElsewhere) {
    ScratchGame game;
    game.Write("scenes/xfiles/one.x", BoxesX({{"1.0;1.0;1.0;1.0;", ""}}));
    ASSERT_TRUE(SetCurrentDir(game.XDir())); // a file of that name lies in the current directory
    MessageRecorder recorder;
    LoadModel("one.x", "1.0", game.Root() + "/nowhere");
    if (!g_pDX9Device) GTEST_SKIP() << "no OpenGL device";
    ASSERT_FALSE(recorder.messages.empty());
    EXPECT_EQ(recorder.messages[0].caption, "X-file not found!");
    EXPECT_EQ(szFileName, "VekVoxa.x");
}

TEST_F(Loading, WithoutDefaultModelTheViewerHoldsNoMesh) {
    ScratchGame game;
    gVoxaDir = game.Root() + "/nowhere";
    MessageRecorder recorder;
    LoadModel("missing.x", "1.0", game.XDir());
    if (!g_pDX9Device) GTEST_SKIP() << "no OpenGL device";
    ASSERT_EQ(recorder.messages.size(), 2u);
    EXPECT_EQ(recorder.messages[1].caption, "X-file not found!");
    EXPECT_EQ(g_pMesh, nullptr);
    EXPECT_EQ(g_dwNumMaterials, 0u);
    EXPECT_TRUE(g_pMeshMaterials.empty());
    RenderDX9(); // the overlay alone
}

TEST_F(Loading, WithoutDeviceNothingIsDrawnAndNothingCrashes) {
    g_pRenderWindow = nullptr;
    MessageRecorder recorder;
    LoadModel("VekVoxa.x", "0.5", gVoxaDir + "/scenes/xfiles");
    EXPECT_EQ(g_pDX9Device, nullptr);
    EXPECT_EQ(g_pMesh, nullptr);
    ASSERT_EQ(recorder.messages.size(), 2u); // the model, then the default model: no device to load them on
    EXPECT_EQ(recorder.messages[0].caption, "X-file not found!");
    RenderDX9();
    WriteXFileName();
    InitialiseWorldMatrix();
}

TEST_F(Loading, WithoutTheSystemsDriverTheSoftwareRasterizerDrawsWithoutAMessage) {
    SetHardwareDeviceDisabled(true);
    MessageRecorder recorder;
    const int result = InitialiseDX9(&window_);
    SetHardwareDeviceDisabled(false);
    if (result != 1 && !recorder.messages.empty()) GTEST_SKIP() << "no software rasterizer";
    ASSERT_EQ(result, 1);
    EXPECT_TRUE(recorder.messages.empty());
    EXPECT_EQ(GetDeviceKind(g_pDX9Device), GfxDeviceKind::Software);
    const std::string renderer = GetDeviceRenderer(g_pDX9Device);
    EXPECT_TRUE(renderer.find("llvmpipe") != std::string::npos || renderer.find("softpipe") != std::string::npos)
        << renderer;
    EXPECT_EQ(GetRenderState(g_pDX9Device, GfxState::Ambient), 0xFFFFFFFFu);
}

TEST_F(Loading, NoDeviceAtAllShowsTheFixedMessage) {
    GfxWindow empty;
    empty.clientWidth = 0;
    empty.clientHeight = 0;
    MessageRecorder recorder;
    EXPECT_EQ(InitialiseDX9(&empty), kViewerFail);
    EXPECT_EQ(g_pDX9Device, nullptr);
    ASSERT_EQ(recorder.messages.size(), 1u);
    EXPECT_EQ(recorder.messages[0].caption, "Initialise DirectX 9");
    EXPECT_EQ(recorder.messages[0].text,
              "Es konnte kein DirectX Device erstellt werden!\nFailed to create even the reference device!");
    EXPECT_EQ(recorder.messages[0].icon, MsgIcon::Stop);
}

} // namespace
