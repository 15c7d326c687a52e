// Tests of our .x reader: the counts the viewer relies on, the four encodings of one file, separator quirks,
// failures with their exact words, truncation, and a comparison with Assimp over real files of other exporters.
#include "xfile.h"

#include <assimp/Importer.hpp>
#include <assimp/postprocess.h>
#include <assimp/scene.h>
#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <charconv>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

const fs::path kData = fs::path(VV_SOURCE_DIR) / "platform/gfx/tests/data/x";

std::vector<std::uint8_t> ReadBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

bool LoadText(std::string_view text, XMesh& mesh, XLoadError& error) {
    return LoadXFileFromMemory(reinterpret_cast<const std::uint8_t*>(text.data()), text.size(), mesh, error);
}

// Loads `text` and returns the error's describe() ("" when it loaded).
std::string ErrorOf(std::string_view text) {
    XMesh mesh;
    XLoadError error;
    if (LoadText(text, mesh, error))
        return "";
    EXPECT_EQ(mesh.vertexCount(), 0u);
    return error.describe();
}

std::string Repeat(std::string_view s, int n) {
    std::string out;
    for (int i = 0; i < n; ++i)
        out += s;
    return out;
}

// The mesh invariants stated on XMesh.
void ExpectConsistent(const XMesh& mesh) {
    ASSERT_EQ(mesh.indices.size() % 3, 0u);
    ASSERT_EQ(mesh.subsets.size(), mesh.materials.size());
    std::uint32_t next = 0;
    for (const XSubset& s : mesh.subsets) {
        EXPECT_EQ(s.firstIndex, next);
        next += 3 * s.faceCount;
    }
    EXPECT_EQ(next, mesh.indices.size());
    for (std::uint32_t i : mesh.indices)
        ASSERT_LT(i, mesh.vertices.size());
}

TEST(XFileCounts, TableOfKnownFiles) {
    struct Row {
        const char* file;
        std::uint32_t vertices, faces, materials;
    } rows[] = {
        {"triangle.x", 3, 1, 1},
        {"box.x", 24, 12, 2},
        {"frames.x", 9, 3, 1},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.file);
        const std::vector<std::uint8_t> bytes = ReadBytes(kData / row.file);
        XMesh mesh;
        XLoadError error;
        ASSERT_TRUE(LoadXFileFromMemory(bytes.data(), bytes.size(), mesh, error)) << error.describe();
        EXPECT_EQ(mesh.vertexCount(), row.vertices);
        EXPECT_EQ(mesh.faceCount(), row.faces);
        EXPECT_EQ(mesh.materials.size(), row.materials);
        ExpectConsistent(mesh);
    }
}

TEST(XFileCounts, HeaderOnlyFails) {
    const std::vector<std::uint8_t> bytes = ReadBytes(kData / "header_only.x");
    XMesh mesh;
    XLoadError error;
    EXPECT_FALSE(LoadXFileFromMemory(bytes.data(), bytes.size(), mesh, error));
    EXPECT_EQ(error.describe(), "line 1: the file holds no mesh with vertices");
}

TEST(XFileContent, BoxMaterialsNormalsAndSubsets) {
    XMesh mesh;
    XLoadError error;
    ASSERT_TRUE(LoadXFile((kData / "box.x").string(), mesh, error)) << error.describe();
    ASSERT_EQ(mesh.materials.size(), 2u);
    const XMaterial& red = mesh.materials[0]; // by reference to the file-level material
    EXPECT_EQ(red.diffuse[0], 1.0f);
    EXPECT_EQ(red.diffuse[3], 1.0f);
    EXPECT_EQ(red.power, 8.0f);
    EXPECT_EQ(red.specular[1], 0.25f);
    EXPECT_EQ(red.textureFilename, "");
    const XMaterial& textured = mesh.materials[1];
    EXPECT_EQ(textured.textureFilename, "texture.jpg"); // the last TextureFilename wins, any spelling
    EXPECT_EQ(textured.diffuse[1], 0.75f);
    EXPECT_EQ(textured.emissive[2], 0.5f);
    ASSERT_EQ(mesh.subsets.size(), 2u);
    EXPECT_EQ(mesh.subsets[0].faceCount, 6u);
    EXPECT_EQ(mesh.subsets[1].faceCount, 6u);
    // Faces 0-2 (-z, +z, -y) are material 0: every triangle of subset 0 lies on one of those planes.
    for (std::uint32_t t = 0; t < 6; ++t) {
        const float* n = mesh.vertices[mesh.indices[t * 3]].normal;
        EXPECT_TRUE(n[2] == -1.0f || n[2] == 1.0f || n[1] == -1.0f);
    }
    // Every vertex's normal is normalised (the file writes (0,0,2)) and each face's corners share it.
    for (const XVertex& v : mesh.vertices)
        EXPECT_FLOAT_EQ(v.normal[0] * v.normal[0] + v.normal[1] * v.normal[1] + v.normal[2] * v.normal[2], 1.0f);
    // Texture coordinates belong to positions: every copy of position 6 (1,1,1) has uv (0.5, 1).
    int copies = 0;
    for (const XVertex& v : mesh.vertices)
        if (v.position[0] == 1 && v.position[1] == 1 && v.position[2] == 1) {
            ++copies;
            EXPECT_EQ(v.uv[0], 0.5f);
            EXPECT_EQ(v.uv[1], 1.0f);
        }
    EXPECT_EQ(copies, 3);
}

TEST(XFileContent, FrameTransformsMoveOnlyLaterMeshes) {
    XMesh mesh;
    XLoadError error;
    ASSERT_TRUE(LoadXFile((kData / "frames.x").string(), mesh, error)) << error.describe();
    ASSERT_EQ(mesh.vertexCount(), 9u);
    const float z[3] = {0, 2, 5};
    for (std::uint32_t v = 0; v < 9; ++v)
        EXPECT_EQ(mesh.vertices[v].position[2], z[v / 3]) << v;
    EXPECT_EQ(mesh.materials[0].diffuse[0], 0.5f); // the default material
    EXPECT_EQ(mesh.materials[0].diffuse[3], 0.0f);
    EXPECT_EQ(mesh.materials[0].power, 0.0f);
}

TEST(XFileContent, NestedFramesApplyInnerThenOuter) {
    // Outer: translate x+10. Inner: rotate 90 degrees about z (x -> y). Row vectors: v × inner × outer.
    const char* text = "xof 0303txt 0032\n"
                       "Frame Outer { FrameTransformMatrix { 1,0,0,0, 0,1,0,0, 0,0,1,0, 10,0,0,1;; }\n"
                       " Frame Inner { FrameTransformMatrix { 0,1,0,0, -1,0,0,0, 0,0,1,0, 0,0,0,1;; }\n"
                       "  Mesh { 3; 1;0;0;, 0;0;0;, 0;0;1;; 1; 3;0,1,2;;\n"
                       "   MeshNormals { 1; 1;0;0;; 1; 3;0,0,0;; } } } }\n";
    XMesh mesh;
    XLoadError error;
    ASSERT_TRUE(LoadText(text, mesh, error)) << error.describe();
    const float* p = mesh.vertices[0].position;
    EXPECT_FLOAT_EQ(p[0], 10.0f);
    EXPECT_FLOAT_EQ(p[1], 1.0f);
    EXPECT_FLOAT_EQ(p[2], 0.0f);
    const float* n = mesh.vertices[0].normal; // rotated, not translated
    EXPECT_NEAR(n[0], 0.0f, 1e-6);
    EXPECT_NEAR(n[1], 1.0f, 1e-6);
}

TEST(XFileContent, FansMaterialsAndDefaults) {
    // A pentagon fans into 3 triangles (v0, vi, vi+1); faces are grouped by material, stable in file order;
    // two meshes' lists are concatenated without merging equal materials; a mesh without a list in such a file
    // gets a default material of its own at its place.
    const char* text =
        "xof 0303txt 0032\n"
        "Material Shared { 1;1;1;1;; 0; 0;0;0;; 0;0;0;; }\n"
        "Mesh A { 5; 0;0;0;, 1;0;0;, 2;1;0;, 1;2;0;, 0;1;0;; 2; 5;0,1,2,3,4;, 3;0,2,4;;\n"
        "  MeshMaterialList { 2; 2; 1,0;; {Shared} {Shared} } }\n"
        "Mesh B { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,1,2;; }\n"
        "Mesh C { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;2,1,0;;\n"
        "  MeshMaterialList { 1; 1; 0;; Material { 0;1;0;1;; 5; 0;0;0;; 0;0;0;; } } }\n";
    XMesh mesh;
    XLoadError error;
    ASSERT_TRUE(LoadText(text, mesh, error)) << error.describe();
    ExpectConsistent(mesh);
    EXPECT_EQ(mesh.faceCount(), 6u);
    ASSERT_EQ(mesh.materials.size(), 4u);
    EXPECT_EQ(mesh.subsets[0].faceCount, 1u); // A's triangle (0,2,4)
    EXPECT_EQ(mesh.subsets[1].faceCount, 3u); // A's pentagon
    EXPECT_EQ(mesh.subsets[2].faceCount, 1u); // B, default material
    EXPECT_EQ(mesh.subsets[3].faceCount, 1u); // C
    EXPECT_EQ(mesh.materials[2].diffuse[0], 0.5f);
    EXPECT_EQ(mesh.materials[3].power, 5.0f);
    const std::vector<std::uint32_t> expected = {0, 2, 4, 0, 1, 2, 0, 2, 3, 0, 3, 4, 5, 6, 7, 10, 9, 8};
    EXPECT_EQ(mesh.indices, expected);
}

TEST(XFileContent, MeshWithoutVerticesAddsNothing) {
    // Not even its materials: the file's one mesh with vertices has no list, so the default material alone.
    const char* text = "xof 0303txt 0032\n"
                       "Mesh Empty { 0; 0; MeshMaterialList { 1; 0; Material { 1;0;0;1;; 0; 0;0;0;; 0;0;0;; } } }\n"
                       "Mesh { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,1,2;; }";
    XMesh mesh;
    XLoadError error;
    ASSERT_TRUE(LoadText(text, mesh, error)) << error.describe();
    EXPECT_EQ(mesh.vertexCount(), 3u);
    ASSERT_EQ(mesh.materials.size(), 1u);
    EXPECT_EQ(mesh.materials[0].diffuse[0], 0.5f);
}

TEST(XFileContent, ManyNormalsOnOnePositionMakeOneCopyEach) {
    // 2000 triangles on the same three positions, each with its own normal: the first keeps the positions, every
    // other one gets three copies. (A quadratic search here would make such a file hang the viewer.)
    std::string text = "xof 0303txt 0032\nMesh { 3; 0;0;0;, 1;0;0;, 0;1;0;; 2000;\n" + Repeat("3;0,1,2;,\n", 2000) +
                       "MeshNormals { 2000;\n";
    for (int i = 0; i < 2000; ++i)
        text += std::to_string(i + 1) + ";1;0;,\n";
    text += "2000;\n";
    for (int i = 0; i < 2000; ++i)
        text += "3;" + std::to_string(i) + "," + std::to_string(i) + "," + std::to_string(i) + ";,\n";
    text += "} }";
    XMesh mesh;
    XLoadError error;
    ASSERT_TRUE(LoadText(text, mesh, error)) << error.describe();
    EXPECT_EQ(mesh.vertexCount(), 3u + 1999u * 3u);
    ExpectConsistent(mesh);
}

TEST(XFileContent, ShortMaterialIndexListRepeatsItsLastIndex) {
    // As in the DirectX SDK's tiger.x: fewer face indices than faces; the last index holds for the rest.
    const char* text = "xof 0303txt 0032\nMesh { 3; 0;0;0;, 1;0;0;, 0;1;0;; 3; 3;0,1,2;, 3;0,1,2;, 3;0,1,2;;\n"
                       " MeshMaterialList { 2; 2; 0, 1;; Material { 1;0;0;1;; 0; 0;0;0;; 0;0;0;; }\n"
                       "  Material { 0;1;0;1;; 0; 0;0;0;; 0;0;0;; } } }";
    XMesh mesh;
    XLoadError error;
    ASSERT_TRUE(LoadText(text, mesh, error)) << error.describe();
    ASSERT_EQ(mesh.subsets.size(), 2u);
    EXPECT_EQ(mesh.subsets[0].faceCount, 1u);
    EXPECT_EQ(mesh.subsets[1].faceCount, 2u);
}

TEST(XFileContent, VerticesSplitOnlyForDifferentNormals) {
    // Two triangles share the edge 1-2. With one normal for both, 4 vertices; with two, positions 1 and 2 are
    // copied once each; a third face repeating the second normal reuses the copies.
    const char* base = "xof 0303txt 0032\nMesh { 4; 0;0;0;, 1;0;0;, 0;1;0;, 1;1;0;, 3; 3;0,1,2;, 3;1,3,2;, "
                       "3;2,1,3;; MeshNormals { 2; 0;0;1;, 0;0;1;; 3; 3;0,0,0;, 3;%d,%d,%d;, 3;%d,%d,%d;; } }";
    char text[512];
    std::snprintf(text, sizeof text, base, 0, 0, 0, 0, 0, 0);
    XMesh mesh;
    XLoadError error;
    ASSERT_TRUE(LoadText(text, mesh, error)) << error.describe();
    EXPECT_EQ(mesh.vertexCount(), 4u); // equal values, though two different normal indices
    std::string modified = text;
    modified.replace(modified.find("0;0;1;, 0;0;1;;"), 15, "0;0;1;, 0;1;0;;");
    std::snprintf(text, sizeof text, "%s", modified.c_str());
    // 1 and 2 are copied once for the second face (3 is first used there); the third face reuses the copies,
    // or with the first normal again, needs a copy of 3 alone.
    const std::pair<const char*, std::uint32_t> cases[] = {{"3;1,1,1;, 3;1,1,1;;", 6}, {"3;1,1,1;, 3;0,0,0;;", 7}};
    for (const auto& [faces, vertices] : cases) {
        std::string t = text;
        t.replace(t.find("3;0,0,0;, 3;0,0,0;, 3;0,0,0;;"), 30, std::string("3;0,0,0;, ") + faces);
        ASSERT_TRUE(LoadText(t, mesh, error)) << t << "\n" << error.describe();
        ExpectConsistent(mesh);
        EXPECT_EQ(mesh.vertexCount(), vertices) << faces;
    }
}

TEST(XFileEncodings, TextBinaryCompressedAndDoubleAgree) {
    for (const char* stem : {"box", "frames"}) {
        SCOPED_TRACE(stem);
        XMesh reference;
        XLoadError error;
        ASSERT_TRUE(LoadXFile((kData / (std::string(stem) + ".x")).string(), reference, error)) << error.describe();
        for (const char* suffix : {"_bin.x", "_bin64.x", "_tzip.x", "_bzip.x"}) {
            SCOPED_TRACE(suffix);
            XMesh mesh;
            ASSERT_TRUE(LoadXFile((kData / (std::string(stem) + suffix)).string(), mesh, error)) << error.describe();
            ASSERT_EQ(mesh.vertexCount(), reference.vertexCount());
            EXPECT_EQ(std::memcmp(mesh.vertices.data(), reference.vertices.data(),
                                  mesh.vertices.size() * sizeof(XVertex)),
                      0);
            EXPECT_EQ(mesh.indices, reference.indices);
            ASSERT_EQ(mesh.materials.size(), reference.materials.size());
            for (std::size_t m = 0; m < mesh.materials.size(); ++m) {
                EXPECT_EQ(mesh.materials[m].textureFilename, reference.materials[m].textureFilename);
                EXPECT_EQ(std::memcmp(mesh.materials[m].diffuse, reference.materials[m].diffuse, 4 * sizeof(float)),
                          0);
                EXPECT_EQ(mesh.materials[m].power, reference.materials[m].power);
            }
        }
    }
}

TEST(XFileText, SeparatorsCaseCommentsAndNames) {
    // Each variant writes the triangle of triangle.x with a quirk that real exporters produce.
    const char* rows[] = {
        "Mesh { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,1,2;; }",
        "Mesh { 3;; 0;0;0;;, 1;0;0;;, 0;1;0;;; 1;; 3;;0,1,2;;;, }",            // runs of ';' and trailing ','
        "Mesh { 3, 0,0,0, 1,0,0, 0,1,0, 1, 3,0,1,2, }",                       // commas only
        "mesh { 3 0.0e0 -0 +0 1 0 0 0 1.0 0 1 3 0 1 2 }",                      // case, spaces, signs, exponents
        "MESH 1-odd_name-2 { // comment { }\n 3; 0;0;0;, 1;0;0;, 0;1;0;; # } \n 1; 3;0,1,2;; }",
        "Mesh <3D82AB44-62DA-11cf-AB39-0020AF71E433> { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,1,2;; }",
        "Unknown { \"}\" { nested } } Mesh { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,1,2;; }",
        "Frame F { Frame G { Mesh { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,1,2;; } } }",
    };
    for (const char* body : rows) {
        SCOPED_TRACE(body);
        const std::string text = std::string("xof 0303txt 0032\n") + body;
        XMesh mesh;
        XLoadError error;
        ASSERT_TRUE(LoadText(text, mesh, error)) << error.describe();
        EXPECT_EQ(mesh.vertexCount(), 3u);
        EXPECT_EQ(mesh.faceCount(), 1u);
        EXPECT_EQ(mesh.vertices[1].position[0], 1.0f);
        EXPECT_EQ(mesh.vertices[2].position[1], 1.0f);
    }
}

TEST(XFileText, NumbersReadAsTheCorrectlyRoundedFloat) {
    // Our reader takes a shortcut for short decimals; every value must still equal std::from_chars' float.
    std::vector<std::string> numbers = {"0.1", "-0", "1e-5", "3.4028234e38", "1.17549435e-38", "16777217",
                                        "0.30000001192092896", "123456789012345678", "7.006492e-46", "1E10",
                                        "2.5e-22", "1e23", "0.000001", "-99999.99", "1.", ".5", "+2"};
    std::uint64_t seed = 12345;
    auto next = [&seed] { return (seed = seed * 6364136223846793005u + 1442695040888963407u) >> 33; };
    for (int i = 0; i < 30000; ++i) {
        std::string n = (next() % 2 ? "-" : "") + std::to_string(next() % 100000);
        if (next() % 4)
            n += "." + std::to_string(next() % 100000000 + 100000000).substr(1, 1 + next() % 8);
        if (next() % 5 == 0)
            n += "e" + std::to_string(static_cast<int>(next() % 50) - 25);
        numbers.push_back(n);
    }
    while (numbers.size() % 3)
        numbers.push_back("0");
    std::string text = "xof 0303txt 0032\nMesh { " + std::to_string(numbers.size() / 3) + ";\n";
    for (const std::string& n : numbers)
        text += n + ";\n";
    text += "0; }";
    XMesh mesh;
    XLoadError error;
    ASSERT_TRUE(LoadText(text, mesh, error)) << error.describe();
    for (std::size_t i = 0; i < numbers.size(); ++i) {
        const std::string& n = numbers[i];
        float expected = 0;
        std::from_chars(n.data() + (n[0] == '+'), n.data() + n.size(), expected);
        const float got = mesh.vertices[i / 3].position[i % 3];
        EXPECT_EQ(std::memcmp(&got, &expected, sizeof got), 0) << n << " read as " << got << ", not " << expected;
    }
}

TEST(XFileText, TextureNameKeptByteForByte) {
    const std::string text = "xof 0303txt 0032\nMesh { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,1,2;;\n"
                             " MeshMaterialList { 1; 1; 0;; Material { 1;1;1;1;; 0; 0;0;0;; 0;0;0;;\n"
                             "  TextureFilename { \"scenes\\\\textures\\\\caf\xe9 {x}.bmp\"; } } } }";
    XMesh mesh;
    XLoadError error;
    ASSERT_TRUE(LoadText(text, mesh, error)) << error.describe();
    EXPECT_EQ(mesh.materials[0].textureFilename, "scenes\\\\textures\\\\caf\xe9 {x}.bmp");
}

TEST(XFileErrors, TextFailuresWithTheirWords) {
    const std::string tri = "Mesh { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,1,2;;\n";
    struct Row {
        std::string text;
        const char* message;
    } rows[] = {
        {"", "byte 0: the file is shorter than the 16-byte .x header"},
        {"xof 0303txt 003", "byte 0: the file is shorter than the 16-byte .x header"},
        {"xaf 0303txt 0032", "byte 0: the file does not start with \"xof \""},
        {"xof 0304txt 0032", "byte 4: unsupported version \"0304\""},
        {"xof 0303TXT 0032", "byte 8: unknown format \"TXT \""},
        {"xof 0303txt 0016", "byte 12: unsupported float size \"0016\""},
        {"xof 0303txt 0032\n// nothing\n", "line 3: the file holds no mesh with vertices"},
        {"xof 0303txt 0032\nMesh { 0; 0; }", "line 2: the file holds no mesh with vertices"},
        {"xof 0303txt 0032\nMesh { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 2;0,1;; }",
         "line 2: face 0 has 2 indices (at least 3 needed)"},
        {"xof 0303txt 0032\nMesh { 3; 0;0;0;, 1;0;0;, 0;1;0;; 2; 3;0,1,2;,\n3;0,3,2;; }",
         "line 3: face 1 uses vertex 3 of 3"},
        {"xof 0303txt 0032\n" + tri + "MeshTextureCoords { 2; 0;0;, 1;1;; } }",
         "line 3: MeshTextureCoords has 2 coordinates for 3 vertices"},
        {"xof 0303txt 0032\n" + tri + "MeshNormals { 1; 0;0;1;; 2; 3;0,0,0;, 3;0,0,0;; } }",
         "line 3: MeshNormals has 2 faces for the mesh's 1"},
        {"xof 0303txt 0032\n" + tri + "MeshNormals { 1; 0;0;1;; 1; 4;0,0,0,0;; } }",
         "line 3: normal face 0 has 4 indices for the face's 3"},
        {"xof 0303txt 0032\n" + tri + "MeshNormals { 1; 0;0;1;; 1; 3;0,1,0;; } }",
         "line 3: normal face 0 uses normal 1 of 1"},
        {"xof 0303txt 0032\n" + tri + "MeshMaterialList { 1; 2; 0,0;; Material { 1;1;1;1;; 0; 0;0;0;; 0;0;0;; } } }",
         "line 3: MeshMaterialList has 2 face indices for 1 faces"},
        {"xof 0303txt 0032\n" + tri + "MeshMaterialList { 1; 0; Material { 1;1;1;1;; 0; 0;0;0;; 0;0;0;; } } }",
         "line 3: MeshMaterialList has 0 face indices for 1 faces"},
        {"xof 0303txt 0032\n" + tri + "MeshMaterialList { 1; 1; 1;; Material { 1;1;1;1;; 0; 0;0;0;; 0;0;0;; } } }",
         "line 3: face 0 uses material 1 of 1"},
        {"xof 0303txt 0032\n" + tri + "MeshMaterialList { 2; 1; 0;; Material { 1;1;1;1;; 0; 0;0;0;; 0;0;0;; } } }",
         "line 3: MeshMaterialList declares 2 materials but holds 1"},
        {"xof 0303txt 0032\n" + tri + "MeshMaterialList { 1; 1; 0;; {A} {A} } }",
         "line 3: the material reference {A} names no earlier material"},
        {"xof 0303txt 0032\nMaterial A { 1;1;1;1;; 0; 0;0;0;; 0;0;0;; }\n" + tri +
             "MeshMaterialList { 1; 1; 0;; {A}\n{A} } }",
         "line 5: MeshMaterialList declares 1 materials but holds more"},
        {"xof 0303txt 0032\n" + tri + "MeshVertexColors { 1; 3; 1;1;1;1;; } }",
         "line 3: vertex colour 0 uses vertex 3 of 3"},
        {"xof 0303txt 0032\nMesh { 3; 0;0;0;, 1;0;0;, 0;1; }", "line 2: expected a number, found \"}\""},
        {"xof 0303txt 0032\nMesh { 3; 0;0;0;, 1;0;0;, 0;1;x; 1; 3;0,1,2;; }",
         "line 2: expected a number, found \"x\""},
        {"xof 0303txt 0032\nMesh { 3.0; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,1,2;; }",
         "line 2: expected an integer, found \"3.0\""},
        {"xof 0303txt 0032\nMesh { 4294967296; }", "line 2: the integer 4294967296 is too large"},
        {"xof 0303txt 0032\nMesh { 99999999; }", "line 2: the vertex count 99999999 exceeds the limit of 67108864"},
        {"xof 0303txt 0032\nMesh { 60000000; 1;", "line 2: the vertex count 60000000 is larger than the rest of "
                                                  "the file can hold"},
        {"xof 0303txt 0032\n" + tri, "line 3: unexpected end of file inside a Mesh"},
        {"xof 0303txt 0032\nHeader { \"open }", "line 2: the string is not closed"},
        {"xof 0303txt 0032\nHeader { 1; 0; 1;", "line 2: unexpected end of file inside an object"},
        {"xof 0303txt 0032\n}", "line 2: '}' without an open object"},
        {"xof 0303txt 0032\nMesh 3", "line 2: expected '{' to open the Mesh object"},
        {"xof 0303txt 0032\n" + tri + "} 1.5", "line 3: expected an object or '}', found \"1.5\""},
        {"xof 0303txt 0032\n" + tri + "{ } }", "line 3: the reference names no object"},
        {"xof 0303txt 0032\nMaterial A <1234> { }", "line 2: the GUID has 4 hex digits instead of 32"},
        {"xof 0303txt 0032\n" + Repeat("Frame {\n", 65), "line 66: frames are nested deeper than 64 levels"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.text);
        EXPECT_EQ(ErrorOf(row.text), row.message);
    }
}

// --- binary and compressed inputs built in memory ------------------------------------------------------------

struct Bin {
    std::string bytes = "xof 0303bin 0032";
    Bin& token(std::uint16_t t) {
        bytes.append(reinterpret_cast<const char*>(&t), 2);
        return *this;
    }
    Bin& u32(std::uint32_t v) {
        bytes.append(reinterpret_cast<const char*>(&v), 4);
        return *this;
    }
    Bin& name(std::string_view n) {
        token(1).u32(static_cast<std::uint32_t>(n.size()));
        bytes.append(n);
        return *this;
    }
    Bin& ints(std::initializer_list<std::uint32_t> v) {
        token(6).u32(static_cast<std::uint32_t>(v.size()));
        for (std::uint32_t x : v)
            u32(x);
        return *this;
    }
    Bin& floats(std::initializer_list<float> v) {
        token(7).u32(static_cast<std::uint32_t>(v.size()));
        for (float x : v)
            bytes.append(reinterpret_cast<const char*>(&x), 4);
        return *this;
    }
    Bin& pad(std::size_t n) {
        bytes.append(n, 'a');
        return *this;
    }
    Bin& open() { return token(10); }
    Bin& close() { return token(11); }
};

Bin BinaryTriangle() {
    Bin b;
    // Zero-length object name; the count, the vertex floats and the faces each in one list.
    b.name("Mesh").name("").open().ints({3}).floats({0, 0, 0, 1, 0, 0, 0, 1, 0}).ints({1, 3, 0, 1, 2});
    return b;
}

TEST(XFileBinary, ListsSpanMembersAndNamesMayBeEmpty) {
    Bin b = BinaryTriangle();
    b.name("MeshMaterialList").open().ints({1, 1, 0}).name("Material").open();
    b.floats({1, 1, 1, 1, 7, 0, 0, 0, 0, 0, 0}).name("TextureFilename").open().token(2).u32(5);
    b.bytes += "a.bmp";
    b.token(20).close().close().close().close();
    XMesh mesh;
    XLoadError error;
    ASSERT_TRUE(LoadText(b.bytes, mesh, error)) << error.describe();
    EXPECT_EQ(mesh.vertexCount(), 3u);
    EXPECT_EQ(mesh.materials[0].power, 7.0f);
    EXPECT_EQ(mesh.materials[0].textureFilename, "a.bmp");
}

TEST(XFileBinary, FailuresWithTheirWords) {
    struct Row {
        std::string bytes;
        const char* message;
    } rows[] = {
        {BinaryTriangle().close().token(99).bytes, "byte 114: unknown binary token 99"},
        {BinaryTriangle().bytes, "byte 112: unexpected end of file inside a Mesh"},
        {Bin().name("Header").open().token(7).u32(1000000).bytes,
         "byte 30: the list of 1000000 values runs past the end of the file"},
        {Bin().name("Mesh").open().ints({3}).token(7).u32(1000).bytes,
         "byte 34: the vertex count 3 is larger than the rest of the file can hold"},
        {Bin().name("Mesh").open().ints({3}).floats({0, 0, 0, 1, 0, 0, 0, 1, 0}).ints({1, 3, 0, 1, 2, 9}).close().bytes,
         "byte 106: the object holds 1 more values than its members take"},
        {Bin().name("Mesh").open().floats({3}).bytes, "byte 28: expected an integer, found a float list"},
        {Bin().name("Mesh").open().ints({3}).token(2).u32(40).pad(40).bytes,
         "byte 38: expected a number, found a string"},
        {Bin().name("Mesh").token(1).u32(50).bytes,
         "byte 26: the name or string of 50 bytes runs past the end of the file"},
        {BinaryTriangle().ints({1}).bytes, "byte 112: unexpected values where an object or '}' was expected"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.message);
        EXPECT_EQ(ErrorOf(row.bytes), row.message);
    }
}

// MSZIP as the tests need it: `chunks` are the plain pieces; each is deflated with the previous as dictionary.
std::string Compress(const std::string& header, const std::string& payload, std::size_t chunk, std::uint32_t total) {
    std::string out = header;
    out.append(reinterpret_cast<const char*>(&total), 4);
    std::string previous;
    for (std::size_t start = 0; start < payload.size(); start += chunk) {
        const std::string piece = payload.substr(start, chunk);
        z_stream z{};
        deflateInit2(&z, 9, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
        if (!previous.empty())
            deflateSetDictionary(&z, reinterpret_cast<const Bytef*>(previous.data()),
                                 static_cast<uInt>(previous.size()));
        std::string packed(deflateBound(&z, piece.size()), '\0');
        z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(piece.data()));
        z.avail_in = static_cast<uInt>(piece.size());
        z.next_out = reinterpret_cast<Bytef*>(packed.data());
        z.avail_out = static_cast<uInt>(packed.size());
        deflate(&z, Z_FINISH);
        packed.resize(z.total_out);
        deflateEnd(&z);
        const std::uint16_t sizes[2] = {static_cast<std::uint16_t>(piece.size()),
                                        static_cast<std::uint16_t>(packed.size() + 2)};
        out.append(reinterpret_cast<const char*>(sizes), 4);
        out += "CK" + packed;
        previous = piece;
    }
    return out;
}

TEST(XFileCompressed, ChunksCarryTheirHistoryAndFailuresAreNamed) {
    std::string payload = "\nMesh {\n 3; 0;0;0;, 1;0;0;, 0;1;0;;\n 1; 3;0,1,2;;\n}\n";
    for (int i = 0; i < 200; ++i)
        payload += "Header { 1; 0; 1; } // padding that repeats, so later chunks refer to earlier ones\n";
    const std::string header = "xof 0303tzip0032";
    const auto total = static_cast<std::uint32_t>(16 + payload.size());
    XMesh mesh;
    XLoadError error;
    const std::string good = Compress(header, payload, 32768, total);
    ASSERT_TRUE(LoadText(good, mesh, error)) << error.describe();
    const std::string small = Compress(header, payload, 100, total);
    ASSERT_TRUE(LoadText(small, mesh, error)) << error.describe();
    EXPECT_EQ(mesh.faceCount(), 1u);

    std::string badSignature = small;
    badSignature[24] = 'X';
    std::string corrupt = small;
    corrupt[30] = static_cast<char>(corrupt[30] ^ 0x55);
    struct Row {
        std::string bytes;
        std::string message;
    } rows[] = {
        {header + "\x10", "byte 16: the compressed file ends before its size field"},
        {Compress(header, payload, 100, 8), "byte 16: the decompressed size 8 is smaller than the header"},
        {Compress(header, payload, 100, 0x50000000u), "byte 16: the decompressed size 1342177280 exceeds the limit of 1 GiB"},
        {Compress(header, payload, 32768, total + 1),
         "byte " + std::to_string(good.size()) + ": the compressed data ends after " + std::to_string(payload.size()) +
             " of " + std::to_string(payload.size() + 1) + " bytes"},
        {Compress(header, payload, 32768, total - 1), "byte 20: compressed chunk 0 holds more than the declared "
                                                      "decompressed size"},
        {badSignature, "byte 24: compressed chunk 0 lacks its \"CK\" signature"},
        {small.substr(0, small.size() - 3), ""},
        {corrupt, ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.message);
        const std::string message = ErrorOf(row.bytes);
        if (!row.message.empty())
            EXPECT_EQ(message, row.message);
        else
            EXPECT_NE(message, "");
    }
}

TEST(XFileRobustness, EveryTruncationOfEveryFixtureFailsOrLoadsCleanly) {
    for (const auto& entry : fs::directory_iterator(kData)) {
        const std::vector<std::uint8_t> bytes = ReadBytes(entry.path());
        SCOPED_TRACE(entry.path().filename().string());
        for (std::size_t n = 0; n <= bytes.size(); ++n) {
            std::vector<std::uint8_t> cut(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(n));
            XMesh mesh;
            XLoadError error;
            if (LoadXFileFromMemory(cut.data(), cut.size(), mesh, error))
                ExpectConsistent(mesh);
            else
                EXPECT_FALSE(error.reason.empty());
        }
    }
}

// --- differential test against Assimp over real files -------------------------------------------------------

struct AssimpCounts {
    std::uint64_t faces = 0;
    std::size_t materials = 0;
    std::vector<std::string> textures; // per material, "" when none
};

bool LoadWithAssimp(const std::vector<std::uint8_t>& bytes, AssimpCounts& counts) {
    Assimp::Importer importer;
    const aiScene* scene = importer.ReadFileFromMemory(bytes.data(), bytes.size(), aiProcess_Triangulate, "x");
    if (!scene || !scene->mRootNode)
        return false;
    // Count faces per node instance, as the meshes are placed by the frames.
    std::vector<const aiNode*> stack = {scene->mRootNode};
    while (!stack.empty()) {
        const aiNode* node = stack.back();
        stack.pop_back();
        for (unsigned i = 0; i < node->mNumMeshes; ++i)
            counts.faces += scene->mMeshes[node->mMeshes[i]]->mNumFaces;
        for (unsigned i = 0; i < node->mNumChildren; ++i)
            stack.push_back(node->mChildren[i]);
    }
    counts.materials = scene->mNumMaterials;
    for (unsigned m = 0; m < scene->mNumMaterials; ++m) {
        aiString path;
        counts.textures.push_back(scene->mMaterials[m]->GetTexture(aiTextureType_DIFFUSE, 0, &path) == AI_SUCCESS
                                      ? std::string(path.C_Str())
                                      : std::string());
    }
    return true;
}

// Where the two readers' rules differ, what is still compared.
enum class Compare { All, FacesAndOurTexturesAmongTheirs, OursOnly };
struct PeerException {
    const char* file;
    Compare compare;
    const char* why;
};
const PeerException kPeerExceptions[] = {
    {"dxsdk-media/CloudBox/skysphere.x", Compare::FacesAndOurTexturesAmongTheirs,
     "Assimp lists every file-level Material; we list the materials of the meshes' lists"},
    {"dxsdk-media/IslandScene/island.x", Compare::FacesAndOurTexturesAmongTheirs,
     "Assimp lists every file-level Material; we list the materials of the meshes' lists"},
    {"assimp-x/malformed_skinweights_oob.x", Compare::OursOnly,
     "Assimp 5.2 crashes on its out-of-range skin weights; we skip SkinWeights and load the mesh"},
};

TEST(XFilePeers, AgreesWithAssimpOnRealFiles) {
    const fs::path root = VV_PEER_MODELS;
    if (!fs::is_directory(root))
        GTEST_SKIP() << "no peer models at " << root;
    std::vector<fs::path> files;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        std::string ext = entry.path().extension().string();
        std::transform(ext.begin(), ext.end(), ext.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        if (entry.is_regular_file() && ext == ".x" && entry.file_size() > 0)
            files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end());
    ASSERT_FALSE(files.empty());
    for (const fs::path& path : files) {
        const std::string name = fs::relative(path, root).generic_string();
        SCOPED_TRACE(name);
        Compare compare = Compare::All;
        for (const PeerException& e : kPeerExceptions)
            if (name == e.file)
                compare = e.compare;
        const std::vector<std::uint8_t> bytes = ReadBytes(path);
        XMesh mesh;
        XLoadError error;
        ASSERT_TRUE(LoadXFileFromMemory(bytes.data(), bytes.size(), mesh, error)) << error.describe();
        ExpectConsistent(mesh);
        if (compare == Compare::OursOnly)
            continue;
        AssimpCounts peer;
        ASSERT_TRUE(LoadWithAssimp(bytes, peer));
        EXPECT_EQ(mesh.faceCount(), peer.faces);
        // Assimp reads "\\" in a text file's string as one backslash; we keep the bytes as written.
        std::vector<std::string> ours;
        for (const XMaterial& m : mesh.materials) {
            std::string t = m.textureFilename;
            for (std::size_t at = 0; (at = t.find("\\\\", at)) != std::string::npos; ++at)
                t.erase(at, 1);
            ours.push_back(t);
        }
        if (compare == Compare::All) {
            EXPECT_EQ(mesh.materials.size(), peer.materials);
            EXPECT_EQ(ours, peer.textures);
        } else {
            for (const std::string& t : ours)
                EXPECT_NE(std::find(peer.textures.begin(), peer.textures.end(), t), peer.textures.end()) << t;
        }
    }
}

TEST(XFilePeers, NegativeFilesFailOrLoadCleanly) {
    const fs::path root = VV_PEER_MODELS;
    if (!fs::is_directory(root))
        GTEST_SKIP() << "no peer models at " << root;
    for (const char* file : {"assimp-x/OV_GetNextToken", "assimp-x/malformed_skinweights_oob.x", "assimp-x/empty.x"}) {
        SCOPED_TRACE(file);
        const std::vector<std::uint8_t> bytes = ReadBytes(root / file);
        XMesh mesh;
        XLoadError error;
        if (LoadXFileFromMemory(bytes.data(), bytes.size(), mesh, error))
            ExpectConsistent(mesh);
        else
            EXPECT_FALSE(error.reason.empty());
    }
}

} // namespace
