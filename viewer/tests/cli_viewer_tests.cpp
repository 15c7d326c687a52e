// vekvoxa-cli mesh-info and render as a user runs them: every model we ship renders without a message, the
// texture resolution shows in mesh-info, and failures and usage errors give their exit codes.
#include "xfile.h"

#include <gtest/gtest.h>

#define STB_IMAGE_STATIC
#define STB_IMAGE_IMPLEMENTATION
#include <stb/stb_image.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include <sys/wait.h>
#include <unistd.h>

namespace {

struct CliRun {
    int code = -1;
    std::string out, err;
};

std::string Slurp(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

std::string Scratch(const std::string& name) {
    return (std::filesystem::temp_directory_path() / ("vv_cli_viewer_" + std::to_string(::getpid()) + "_" + name))
        .string();
}

CliRun Cli(const std::string& args) {
    const std::string out = Scratch("out.txt"), err = Scratch("err.txt");
    const std::string command = std::string("'") + VV_CLI + "' " + args + " >'" + out + "' 2>'" + err + "'";
    CliRun r;
    const int status = std::system(command.c_str());
    r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    r.out = Slurp(out);
    r.err = Slurp(err);
    std::filesystem::remove(out);
    std::filesystem::remove(err);
    return r;
}

const std::string kSource = VV_SOURCE_DIR;

TEST(CliRender, DrawsEverySampleModelAndTheDefaultModel) {
    const char* models[] = {"samples/game/scenes/xfiles/loco.x",   "samples/game/scenes/xfiles/wagon.x",
                            "samples/game/scenes/xfiles/house.x",  "samples/game/scenes/xfiles/signal.x",
                            "samples/game/scenes/xfiles/tree.x",   "app/resources/scenes/xfiles/VekVoxa.x"};
    const std::string png = Scratch("model.png");
    for (const char* model : models) {
        SCOPED_TRACE(model);
        const CliRun r = Cli("render '" + kSource + "/" + model + "' -o '" + png + "' --size 160x120");
        if (r.code == 1 && r.err.find("no graphics device") != std::string::npos) GTEST_SKIP() << r.err;
        ASSERT_EQ(r.code, 0) << r.err;
        EXPECT_EQ(r.err.find("X-file not found!"), std::string::npos) << r.err;
        EXPECT_EQ(r.err.find("Texture not found!"), std::string::npos) << r.err;
        int w = 0, h = 0, n = 0;
        unsigned char* pixels = stbi_load(png.c_str(), &w, &h, &n, 4);
        ASSERT_NE(pixels, nullptr);
        EXPECT_EQ(w, 160);
        EXPECT_EQ(h, 120);
        // The model covers part of the upper half (the overlay takes the lower left); the corner is background.
        int covered = 0;
        for (int y = 0; y < h / 2; ++y)
            for (int x = 0; x < w; ++x) {
                const unsigned char* p = pixels + (y * w + x) * 4;
                covered += (p[0] != 0xD4 || p[1] != 0xD0 || p[2] != 0xC8) ? 1 : 0;
            }
        EXPECT_GT(covered, 100);
        EXPECT_EQ(pixels[0], 0xD4);
        stbi_image_free(pixels);
    }
    std::filesystem::remove(png);
}

TEST(CliRender, FileThatDoesNotLoadFallsBackToTheDefaultModel) {
    const std::string bad = Scratch("bad.x"), png = Scratch("bad.png");
    std::ofstream(bad) << "not an x file";
    const CliRun r = Cli("render '" + bad + "' -o '" + png + "' --size 64x64");
    if (r.code == 1 && r.err.find("no graphics device") != std::string::npos) GTEST_SKIP() << r.err;
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.err.find("X-file not found!"), std::string::npos);
    EXPECT_TRUE(std::filesystem::exists(png));
    std::filesystem::remove(bad);
    std::filesystem::remove(png);
}

TEST(CliMeshInfo, ShowsTheResolvedTextureAndWhetherItLoaded) {
    const CliRun r = Cli("mesh-info '" + kSource + "/samples/game/scenes/xfiles/loco.x' --json");
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.out.find("\"texture\": \"scenes\\\\textures\\\\loco.bmp\", \"resolved\": "
                         "\"..\\\\TEXTURES\\\\LOCO.DDS\", \"loaded\": true"),
              std::string::npos)
        << r.out;
    const CliRun text = Cli("mesh-info '" + kSource + "/samples/game/scenes/xfiles/loco.x'");
    ASSERT_EQ(text.code, 0);
    EXPECT_NE(text.out.find("resolved ..\\TEXTURES\\LOCO.DDS\n  loaded   yes"), std::string::npos) << text.out;
}

TEST(CliMeshInfo, FileThatDoesNotLoadGivesTheReaderReason) {
    const std::string bytes = "xof 0303txt 0032\nMesh { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,1,7;; }\n";
    const std::string bad = Scratch("bad.x");
    std::ofstream(bad) << bytes;
    XMesh mesh;
    XLoadError error;
    ASSERT_FALSE(LoadXFileFromMemory(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size(), mesh, error));
    const CliRun r = Cli("mesh-info '" + bad + "'");
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.err, "Error: " + error.describe() + "\n");
    EXPECT_TRUE(r.out.empty());
    std::filesystem::remove(bad);
}

TEST(CliViewerCommands, UsageErrorsExitWithTwoAndHelpWithZero) {
    struct Case {
        const char* args;
        int code;
    } cases[] = {
        {"mesh-info", 2},
        {"mesh-info a.x b.x", 2},
        {"mesh-info a.x --bogus", 2},
        {"mesh-info --help", 0},
        {"render", 2},
        {"render a.x", 2},
        {"render a.x -o", 2},
        {"render a.x -o out.png --size 0x10", 2},
        {"render a.x -o out.png --size 640", 2},
        {"render a.x -o out.png --time-ms -5", 2},
        {"render a.x -o out.png --zoom far", 2},
        {"render a.x -o out.png --frobnicate", 2},
        {"render --help", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args);
        const CliRun r = Cli(c.args);
        EXPECT_EQ(r.code, c.code) << r.err;
        if (c.code == 0) {
            EXPECT_NE(r.out.find("usage: vekvoxa-cli"), std::string::npos);
        }
    }
}

} // namespace
