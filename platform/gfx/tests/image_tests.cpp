// Texture decoding: DDS texels against hand-computed values, the rejections with their exact texts, BMP/PNG/TGA
// through the image library, the peer textures, and files written by scripts/make_dds.py.
#include "image.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdio>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;
using Texel = std::array<std::uint8_t, 4>;

void Put32(Bytes& b, std::size_t at, std::uint32_t v) {
    for (int k = 0; k < 4; ++k) b[at + k] = static_cast<std::uint8_t>(v >> (8 * k));
}
void Append32(Bytes& b, std::uint32_t v) {
    for (int k = 0; k < 4; ++k) b.push_back(static_cast<std::uint8_t>(v >> (8 * k)));
}
void Append16(Bytes& b, std::uint32_t v) {
    b.push_back(static_cast<std::uint8_t>(v));
    b.push_back(static_cast<std::uint8_t>(v >> 8));
}

constexpr std::uint32_t FourCC(const char (&s)[5]) {
    return std::uint32_t(std::uint8_t(s[0])) | std::uint32_t(std::uint8_t(s[1])) << 8 |
           std::uint32_t(std::uint8_t(s[2])) << 16 | std::uint32_t(std::uint8_t(s[3])) << 24;
}

struct PixelFormat {
    std::uint32_t flags = 0, fourCC = 0, bits = 0, r = 0, g = 0, b = 0, a = 0;
};

constexpr std::uint32_t kAlphaPixels = 0x1, kAlpha = 0x2, kFourCCFlag = 0x4, kRgb = 0x40, kLuminance = 0x20000;

PixelFormat Compressed(const char (&name)[5]) { return {kFourCCFlag, FourCC(name)}; }

struct Dx10 {
    std::uint32_t dxgi = 0, dimension = 3, misc = 0, arraySize = 1;
};

// A DDS file: magic, header, optional DX10 header, then `data` as given.
Bytes MakeDds(std::uint32_t width, std::uint32_t height, const PixelFormat& pf, const Bytes& data,
              std::uint32_t mips = 0, std::uint32_t caps2 = 0, const Dx10* dx10 = nullptr) {
    Bytes b(128, 0);
    b[0] = 'D', b[1] = 'D', b[2] = 'S', b[3] = ' ';
    Put32(b, 4, 124);
    Put32(b, 8, 0x1007 | (mips ? 0x20000u : 0u));
    Put32(b, 12, height);
    Put32(b, 16, width);
    Put32(b, 28, mips);
    Put32(b, 76, 32);
    Put32(b, 80, dx10 ? kFourCCFlag : pf.flags);
    Put32(b, 84, dx10 ? FourCC("DX10") : pf.fourCC);
    Put32(b, 88, pf.bits);
    Put32(b, 92, pf.r);
    Put32(b, 96, pf.g);
    Put32(b, 100, pf.b);
    Put32(b, 104, pf.a);
    Put32(b, 108, 0x1000 | (mips ? 0x400008u : 0u) | (caps2 ? 0x8u : 0u));
    Put32(b, 112, caps2);
    if (dx10) {
        Append32(b, dx10->dxgi);
        Append32(b, dx10->dimension);
        Append32(b, dx10->misc);
        Append32(b, dx10->arraySize);
        Append32(b, 0);
    }
    b.insert(b.end(), data.begin(), data.end());
    return b;
}

std::vector<Texel> Texels(const Image& image) {
    std::vector<Texel> out;
    for (std::size_t i = 0; i + 3 < image.rgba.size(); i += 4) {
        out.push_back({image.rgba[i], image.rgba[i + 1], image.rgba[i + 2], image.rgba[i + 3]});
    }
    return out;
}

std::string Show(const Texel& t) {
    char text[32];
    std::snprintf(text, sizeof text, "(%u,%u,%u,%u)", t[0], t[1], t[2], t[3]);
    return text;
}

void ExpectTexels(const Image& image, std::uint32_t width, std::uint32_t height, const std::vector<Texel>& expected) {
    ASSERT_EQ(image.width, width);
    ASSERT_EQ(image.height, height);
    ASSERT_EQ(image.rgba.size(), std::size_t{width} * height * 4);
    const std::vector<Texel> got = Texels(image);
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(got[i], expected[i]) << "texel " << i << ": " << Show(got[i]) << " instead of " << Show(expected[i]);
    }
}

Image MustDecode(const Bytes& file) {
    Image image;
    std::string error;
    EXPECT_TRUE(DecodeImage(file.data(), file.size(), image, error)) << error;
    return image;
}

// ---------------------------------------------------------------------------------------------------------------
// Uncompressed DDS formats: a row of texels per format, the expected RGBA worked out by hand.

struct UncompressedCase {
    const char* name;
    PixelFormat pf;
    const Dx10* dx10;
    std::uint32_t width, height;
    Bytes data;
    std::vector<Texel> expected;
};

const Dx10 kDxgiRgba8{28}, kDxgiBgrx8{88}, kDxgiB5G6R5{85};

TEST(DecodeDDS, UncompressedFormats) {
    const PixelFormat argb32{kRgb | kAlphaPixels, 0, 32, 0xff0000, 0xff00, 0xff, 0xff000000};
    const PixelFormat abgr32{kRgb | kAlphaPixels, 0, 32, 0xff, 0xff00, 0xff0000, 0xff000000};
    const Bytes quad = {0x10, 0x20, 0x30, 0x40, 0xff, 0x00, 0x80, 0x01};
    const UncompressedCase cases[] = {
        {"A8R8G8B8", argb32, nullptr, 2, 1, quad, {{0x30, 0x20, 0x10, 0x40}, {0x80, 0x00, 0xff, 0x01}}},
        {"X8R8G8B8", {kRgb, 0, 32, 0xff0000, 0xff00, 0xff, 0}, nullptr, 2, 1, quad,
         {{0x30, 0x20, 0x10, 0xff}, {0x80, 0x00, 0xff, 0xff}}},
        // An alpha mask without the alpha flag does not count.
        {"A8R8G8B8 masks, no alpha flag", {kRgb, 0, 32, 0xff0000, 0xff00, 0xff, 0xff000000}, nullptr, 2, 1, quad,
         {{0x30, 0x20, 0x10, 0xff}, {0x80, 0x00, 0xff, 0xff}}},
        {"A8B8G8R8", abgr32, nullptr, 2, 1, quad, {{0x10, 0x20, 0x30, 0x40}, {0xff, 0x00, 0x80, 0x01}}},
        {"X8B8G8R8", {kRgb, 0, 32, 0xff, 0xff00, 0xff0000, 0}, nullptr, 2, 1, quad,
         {{0x10, 0x20, 0x30, 0xff}, {0xff, 0x00, 0x80, 0xff}}},
        // Rows of three bytes per texel follow each other without padding.
        {"R8G8B8", {kRgb, 0, 24, 0xff0000, 0xff00, 0xff, 0}, nullptr, 1, 2, {0x10, 0x20, 0x30, 0x40, 0x50, 0x60},
         {{0x30, 0x20, 0x10, 0xff}, {0x60, 0x50, 0x40, 0xff}}},
        // 0x8423: R 16 -> 132, G 33 -> 134, B 3 -> 24.
        {"R5G6B5", {kRgb, 0, 16, 0xf800, 0x07e0, 0x001f, 0}, nullptr, 2, 1, {0x23, 0x84, 0xff, 0xff},
         {{132, 134, 24, 255}, {255, 255, 255, 255}}},
        // 0x87cf: R 1 -> 8, G 30 -> 247, B 15 -> 123; the top bit is alpha only where a mask says so.
        {"X1R5G5B5", {kRgb, 0, 16, 0x7c00, 0x03e0, 0x001f, 0}, nullptr, 2, 1, {0xcf, 0x87, 0xcf, 0x07},
         {{8, 247, 123, 255}, {8, 247, 123, 255}}},
        {"A1R5G5B5", {kRgb | kAlphaPixels, 0, 16, 0x7c00, 0x03e0, 0x001f, 0x8000}, nullptr, 2, 1,
         {0xcf, 0x87, 0xcf, 0x07}, {{8, 247, 123, 255}, {8, 247, 123, 0}}},
        {"A4R4G4B4", {kRgb | kAlphaPixels, 0, 16, 0x0f00, 0x00f0, 0x000f, 0xf000}, nullptr, 2, 1,
         {0x3c, 0x5a, 0x00, 0xf0}, {{0xaa, 0x33, 0xcc, 0x55}, {0, 0, 0, 0xff}}},
        {"L8", {kLuminance, 0, 8, 0xff, 0, 0, 0}, nullptr, 2, 1, {0x7f, 0x00}, {{0x7f, 0x7f, 0x7f, 0xff}, {0, 0, 0, 0xff}}},
        {"A8L8", {kLuminance | kAlphaPixels, 0, 16, 0xff, 0, 0, 0xff00}, nullptr, 2, 1, {0x40, 0x90, 0xff, 0x00},
         {{0x40, 0x40, 0x40, 0x90}, {0xff, 0xff, 0xff, 0x00}}},
        {"A8", {kAlpha, 0, 8, 0, 0, 0, 0xff}, nullptr, 2, 1, {0x33, 0xff}, {{0, 0, 0, 0x33}, {0, 0, 0, 0xff}}},
        // Direct3D format numbers in the FourCC field: 21 A8R8G8B8, 30 X4R4G4B4.
        {"D3D format 21", {kFourCCFlag, 21}, nullptr, 2, 1, quad, {{0x30, 0x20, 0x10, 0x40}, {0x80, 0x00, 0xff, 0x01}}},
        {"D3D format 30", {kFourCCFlag, 30}, nullptr, 2, 1, {0x3c, 0x5a, 0x00, 0xf0},
         {{0xaa, 0x33, 0xcc, 0xff}, {0, 0, 0, 0xff}}},
        {"DX10 R8G8B8A8", {}, &kDxgiRgba8, 2, 1, quad, {{0x10, 0x20, 0x30, 0x40}, {0xff, 0x00, 0x80, 0x01}}},
        {"DX10 B8G8R8X8", {}, &kDxgiBgrx8, 2, 1, quad, {{0x30, 0x20, 0x10, 0xff}, {0x80, 0x00, 0xff, 0xff}}},
        {"DX10 B5G6R5", {}, &kDxgiB5G6R5, 2, 1, {0x23, 0x84, 0xff, 0xff}, {{132, 134, 24, 255}, {255, 255, 255, 255}}},
    };
    for (const UncompressedCase& c : cases) {
        SCOPED_TRACE(c.name);
        ExpectTexels(MustDecode(MakeDds(c.width, c.height, c.pf, c.data, 0, 0, c.dx10)), c.width, c.height,
                     c.expected);
    }
}

// ---------------------------------------------------------------------------------------------------------------
// Block formats. Index pattern E4 39 4E 93 gives texel (x, y) the palette entry (x + y) & 3, so a mistake in the
// order of rows, columns or index bits shows.

const Bytes kDiagonalIndices = {0xe4, 0x39, 0x4e, 0x93};

// With `alphas`, texel i takes alpha alphas[i] instead of its palette entry's.
std::vector<Texel> Diagonal(const std::array<Texel, 4>& palette, const std::vector<std::uint8_t>& alphas = {}) {
    std::vector<Texel> out;
    for (int y = 0; y < 4; ++y) {
        for (int x = 0; x < 4; ++x) {
            Texel t = palette[(x + y) & 3];
            if (!alphas.empty()) t[3] = alphas[y * 4 + x];
            out.push_back(t);
        }
    }
    return out;
}

Bytes ColourBlock(std::uint16_t c0, std::uint16_t c1, const Bytes& indices) {
    Bytes b;
    Append16(b, c0);
    Append16(b, c1);
    b.insert(b.end(), indices.begin(), indices.end());
    return b;
}

TEST(DecodeDDS, Dxt1FourColoursAndOneBitAlpha) {
    // c0 red > c1 blue: four colours, thirds rounded to nearest.
    ExpectTexels(MustDecode(MakeDds(4, 4, Compressed("DXT1"), ColourBlock(0xf800, 0x001f, kDiagonalIndices))), 4, 4,
                 Diagonal({{{255, 0, 0, 255}, {0, 0, 255, 255}, {170, 0, 85, 255}, {85, 0, 170, 255}}}));
    // c0 blue <= c1 red: three colours and transparent black.
    ExpectTexels(MustDecode(MakeDds(4, 4, Compressed("DXT1"), ColourBlock(0x001f, 0xf800, kDiagonalIndices))), 4, 4,
                 Diagonal({{{0, 0, 255, 255}, {255, 0, 0, 255}, {128, 0, 128, 255}, {0, 0, 0, 0}}}));
    // Equal end points are the three-colour mode as well.
    ExpectTexels(MustDecode(MakeDds(4, 4, Compressed("DXT1"), ColourBlock(0x07e0, 0x07e0, kDiagonalIndices))), 4, 4,
                 Diagonal({{{0, 255, 0, 255}, {0, 255, 0, 255}, {0, 255, 0, 255}, {0, 0, 0, 0}}}));
}

TEST(DecodeDDS, Dxt1PartialBlocksAreClipped) {
    // 5x5 texels: 2x2 blocks of one colour each (white, red, green, blue); the right column and the bottom row come
    // from the second block column and row.
    Bytes data;
    for (std::uint16_t c : {std::uint16_t{0xffff}, std::uint16_t{0xf800}, std::uint16_t{0x07e0}, std::uint16_t{0x001f}}) {
        const Bytes block = ColourBlock(c, c, {0, 0, 0, 0});
        data.insert(data.end(), block.begin(), block.end());
    }
    const Image image = MustDecode(MakeDds(5, 5, Compressed("DXT1"), data));
    const Texel white{255, 255, 255, 255}, red{255, 0, 0, 255}, green{0, 255, 0, 255}, blue{0, 0, 255, 255};
    std::vector<Texel> expected;
    for (int y = 0; y < 5; ++y) {
        for (int x = 0; x < 5; ++x) expected.push_back(y < 4 ? (x < 4 ? white : red) : (x < 4 ? green : blue));
    }
    ExpectTexels(image, 5, 5, expected);
}

TEST(DecodeDDS, Dxt3ExplicitAlphaAndFourColourBlock) {
    // Alpha nibbles 0..15 in texel order (low nibble first), widened by 17; the colour block has c0 < c1 but DXT3
    // always uses four colours, so index 3 is a colour, not transparency.
    Bytes data = {0x10, 0x32, 0x54, 0x76, 0x98, 0xba, 0xdc, 0xfe};
    const Bytes colour = ColourBlock(0x001f, 0xf800, kDiagonalIndices);
    data.insert(data.end(), colour.begin(), colour.end());
    std::vector<std::uint8_t> alphas;
    for (int i = 0; i < 16; ++i) alphas.push_back(static_cast<std::uint8_t>(i * 17));
    for (const PixelFormat& pf : {Compressed("DXT3"), Compressed("DXT2")}) {
        SCOPED_TRACE(pf.fourCC);
        ExpectTexels(MustDecode(MakeDds(4, 4, pf, data)), 4, 4,
                     Diagonal({{{0, 0, 255, 0}, {255, 0, 0, 0}, {85, 0, 170, 0}, {170, 0, 85, 0}}}, alphas));
    }
}

TEST(DecodeDDS, Dxt5AlphaModes) {
    // Indices 0..7, 0..7 in texel order: 3-bit fields 88 C6 FA twice.
    struct Case {
        std::uint8_t a0, a1;
        std::array<std::uint8_t, 8> values;
    };
    const Case cases[] = {
        {200, 60, {200, 60, 180, 160, 140, 120, 100, 80}}, // a0 > a1: six sevenths between
        {40, 240, {40, 240, 80, 120, 160, 200, 0, 255}},   // a0 <= a1: four fifths between, then 0 and 255
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(int(c.a0));
        Bytes data = {c.a0, c.a1, 0x88, 0xc6, 0xfa, 0x88, 0xc6, 0xfa};
        const Bytes colour = ColourBlock(0x001f, 0xf800, kDiagonalIndices);
        data.insert(data.end(), colour.begin(), colour.end());
        std::vector<std::uint8_t> alphas;
        for (int i = 0; i < 16; ++i) alphas.push_back(c.values[i & 7]);
        ExpectTexels(MustDecode(MakeDds(4, 4, Compressed("DXT5"), data)), 4, 4,
                     Diagonal({{{0, 0, 255, 0}, {255, 0, 0, 0}, {85, 0, 170, 0}, {170, 0, 85, 0}}}, alphas));
    }
}

TEST(DecodeDDS, DX10BlockFormats) {
    const Dx10 bc1{71}, bc3{77};
    ExpectTexels(MustDecode(MakeDds(4, 4, {}, ColourBlock(0x001f, 0xf800, kDiagonalIndices), 0, 0, &bc1)), 4, 4,
                 Diagonal({{{0, 0, 255, 255}, {255, 0, 0, 255}, {128, 0, 128, 255}, {0, 0, 0, 0}}}));
    Bytes data = {255, 0, 0, 0, 0, 0, 0, 0};
    const Bytes colour = ColourBlock(0xffff, 0xffff, {0, 0, 0, 0});
    data.insert(data.end(), colour.begin(), colour.end());
    ExpectTexels(MustDecode(MakeDds(4, 4, {}, data, 0, 0, &bc3)), 4, 4,
                 std::vector<Texel>(16, Texel{255, 255, 255, 255}));
}

TEST(DecodeDDS, MipChainAndCubeMapGiveLevelZeroOfTheFirstFace) {
    const PixelFormat l8{kLuminance, 0, 8, 0xff};
    // 2x2 with two levels: the second level's texel must not show.
    ExpectTexels(MustDecode(MakeDds(2, 2, l8, {1, 2, 3, 4, 99}, 2)), 2, 2,
                 {{1, 1, 1, 255}, {2, 2, 2, 255}, {3, 3, 3, 255}, {4, 4, 4, 255}});
    // A cube map of six 1x1 faces (+X first), each with two levels.
    const Bytes faces = {10, 11, 20, 21, 30, 31, 40, 41, 50, 51, 60, 61};
    ExpectTexels(MustDecode(MakeDds(1, 1, l8, faces, 2, 0xfe00)), 1, 1, {{10, 10, 10, 255}});
    // A DX10 cube (misc flag 4) and a DXT1 chain: 8x8 level 0 is four solid blocks, level 1 a red block.
    const Dx10 cube{28, 3, 4, 1};
    ExpectTexels(MustDecode(MakeDds(1, 1, {}, {1, 2, 3, 4, 5, 6, 7, 8}, 1, 0xfe00, &cube)), 1, 1, {{1, 2, 3, 4}});
    Bytes chain;
    for (int i = 0; i < 4; ++i) {
        const Bytes block = ColourBlock(0x07e0, 0x07e0, {0, 0, 0, 0});
        chain.insert(chain.end(), block.begin(), block.end());
    }
    const Bytes red = ColourBlock(0xf800, 0xf800, {0, 0, 0, 0});
    chain.insert(chain.end(), red.begin(), red.end());
    ExpectTexels(MustDecode(MakeDds(8, 8, Compressed("DXT1"), chain, 2)), 8, 8,
                 std::vector<Texel>(64, Texel{0, 255, 0, 255}));
}

// ---------------------------------------------------------------------------------------------------------------
// Rejections

TEST(DecodeDDS, RejectsBrokenAndUnsupportedFiles) {
    const PixelFormat argb32{kRgb | kAlphaPixels, 0, 32, 0xff0000, 0xff00, 0xff, 0xff000000};
    const Bytes pixel = {1, 2, 3, 4};
    auto with = [](Bytes b, std::size_t at, std::uint32_t v) {
        Put32(b, at, v);
        return b;
    };
    const Bytes good = MakeDds(1, 1, argb32, pixel);
    const Dx10 bc5{83}, volume4d{28, 5}, noArray{28, 3, 0, 0};
    struct Case {
        const char* name;
        Bytes file;
        const char* error;
    };
    const Case cases[] = {
        {"bad magic", with(good, 0, FourCC("DDX ")), "DDS: the file does not start with \"DDS \"."},
        {"header size", with(good, 4, 100), "DDS: the header size is 100, not 124."},
        {"pixel format size", with(good, 76, 24), "DDS: the pixel format size is 24, not 32."},
        {"zero width", MakeDds(0, 4, argb32, pixel), "DDS: the image is empty (0x4)."},
        {"zero height", MakeDds(4, 0, argb32, pixel), "DDS: the image is empty (4x0)."},
        {"too wide", MakeDds(16385, 1, argb32, pixel), "DDS: 16385x1 exceeds the limit of 16384 texels per side."},
        {"too many texels", MakeDds(16384, 8192, argb32, pixel),
         "DDS: 16384x8192 exceeds the limit of 67108864 texels."},
        {"huge header values", MakeDds(0xffffffff, 0xffffffff, Compressed("DXT1"), pixel),
         "DDS: 4294967295x4294967295 exceeds the limit of 16384 texels per side."},
        {"FourCC ATI2", MakeDds(4, 4, Compressed("ATI2"), Bytes(16)), "DDS: unsupported FourCC 'ATI2'."},
        {"FourCC A16B16G16R16F", MakeDds(4, 4, {kFourCCFlag, 113}, Bytes(128)), "DDS: unsupported FourCC 0x00000071."},
        {"R3G3B2 masks", MakeDds(1, 1, {kRgb, 0, 8, 0xe0, 0x1c, 0x03, 0}, pixel),
         "DDS: unsupported pixel format (flags 0x40, 8 bits, masks 0xE0 0x1C 0x3 0x0)."},
        {"no format flags", MakeDds(1, 1, {0, 0, 32, 0xff0000, 0xff00, 0xff, 0}, pixel),
         "DDS: unsupported pixel format (flags 0x0, 32 bits, masks 0xFF0000 0xFF00 0xFF 0x0)."},
        {"odd bit count", MakeDds(1, 1, {kRgb, 0, 12, 0xf00, 0xf0, 0xf, 0}, pixel),
         "DDS: unsupported pixel format (flags 0x40, 12 bits, masks 0xF00 0xF0 0xF 0x0)."},
        {"DXGI BC5", MakeDds(4, 4, {}, Bytes(16), 0, 0, &bc5), "DDS: unsupported DXGI format 83."},
        {"DX10 dimension", MakeDds(1, 1, {}, pixel, 0, 0, &volume4d), "DDS: unsupported DX10 resource dimension 5."},
        {"DX10 array size", MakeDds(1, 1, {}, pixel, 0, 0, &noArray), "DDS: the DX10 array size is zero."},
        {"DXT1 data short", MakeDds(4, 4, Compressed("DXT1"), Bytes(7)), "DDS: the pixel data is truncated (7 of 8 bytes)."},
        {"R8G8B8 data short", MakeDds(3, 3, {kRgb, 0, 24, 0xff0000, 0xff00, 0xff, 0}, Bytes(26)),
         "DDS: the pixel data is truncated (26 of 27 bytes)."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Image image;
        image.width = 7; // untouched on failure
        std::string error;
        EXPECT_FALSE(DecodeDDS(c.file.data(), c.file.size(), image, error));
        EXPECT_EQ(error, c.error);
        EXPECT_EQ(image.width, 7u);
    }
}

TEST(DecodeDDS, EveryTruncationIsRefused) {
    Bytes dxt5(2 * 2 * 16, 0x5a);
    const Dx10 bc1{71};
    struct File {
        Bytes bytes;
        std::size_t dataOffset;
    };
    const File files[] = {{MakeDds(8, 8, Compressed("DXT5"), dxt5), 128}, {MakeDds(8, 8, {}, Bytes(32, 7), 0, 0, &bc1), 148}};
    for (const File& f : files) {
        const std::size_t full = f.bytes.size();
        {
            Image image;
            std::string error;
            ASSERT_TRUE(DecodeDDS(f.bytes.data(), full, image, error)) << error;
        }
        for (std::size_t n = 0; n < full; ++n) {
            SCOPED_TRACE(n);
            // A copy of exactly n bytes, so that the sanitizers see any read past the end.
            const Bytes part(f.bytes.begin(), f.bytes.begin() + static_cast<std::ptrdiff_t>(n));
            Image image;
            std::string error;
            EXPECT_FALSE(DecodeDDS(part.data(), part.size(), image, error));
            std::string expected;
            if (n < 4) {
                expected = "DDS: the file does not start with \"DDS \".";
            } else if (n < 128) {
                expected = "DDS: the header is truncated (" + std::to_string(n) + " of 128 bytes).";
            } else if (n < f.dataOffset) {
                expected = "DDS: the DX10 header is truncated.";
            } else {
                expected = "DDS: the pixel data is truncated (" + std::to_string(n - f.dataOffset) + " of " +
                           std::to_string(full - f.dataOffset) + " bytes).";
            }
            EXPECT_EQ(error, expected);
            EXPECT_TRUE(image.rgba.empty());
        }
    }
}

// ---------------------------------------------------------------------------------------------------------------
// BMP, PNG and TGA through the image library, from files composed here.

std::uint32_t Crc32(const std::uint8_t* p, std::size_t n, std::uint32_t crc = 0) {
    crc = ~crc;
    for (std::size_t i = 0; i < n; ++i) {
        crc ^= p[i];
        for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xedb88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

void AppendBe32(Bytes& b, std::uint32_t v) {
    for (int k = 3; k >= 0; --k) b.push_back(static_cast<std::uint8_t>(v >> (8 * k)));
}

void AppendChunk(Bytes& png, const char* type, const Bytes& body) {
    AppendBe32(png, static_cast<std::uint32_t>(body.size()));
    Bytes typed(type, type + 4);
    typed.insert(typed.end(), body.begin(), body.end());
    png.insert(png.end(), typed.begin(), typed.end());
    AppendBe32(png, Crc32(typed.data(), typed.size()));
}

// An 8-bit PNG of colour type `colourType` (2 RGB, 6 RGBA) whose rows are stored without compression.
Bytes MakePng(std::uint32_t width, std::uint32_t height, std::uint8_t colourType, const Bytes& pixels) {
    Bytes png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
    Bytes ihdr;
    AppendBe32(ihdr, width);
    AppendBe32(ihdr, height);
    ihdr.insert(ihdr.end(), {8, colourType, 0, 0, 0});
    AppendChunk(png, "IHDR", ihdr);
    const std::size_t rowBytes = pixels.size() / height;
    Bytes raw;
    for (std::uint32_t y = 0; y < height; ++y) {
        raw.push_back(0); // filter: none
        raw.insert(raw.end(), pixels.begin() + static_cast<std::ptrdiff_t>(y * rowBytes),
                   pixels.begin() + static_cast<std::ptrdiff_t>((y + 1) * rowBytes));
    }
    Bytes zlib = {0x78, 0x01, 0x01}; // one final stored block
    Append16(zlib, static_cast<std::uint32_t>(raw.size()));
    Append16(zlib, static_cast<std::uint32_t>(~raw.size() & 0xffff));
    zlib.insert(zlib.end(), raw.begin(), raw.end());
    std::uint32_t s1 = 1, s2 = 0;
    for (std::uint8_t v : raw) {
        s1 = (s1 + v) % 65521;
        s2 = (s2 + s1) % 65521;
    }
    AppendBe32(zlib, s2 << 16 | s1);
    AppendChunk(png, "IDAT", zlib);
    AppendChunk(png, "IEND", {});
    return png;
}

// A 24-bit BMP, rows padded to four bytes, stored bottom-up (or top-down with a negative height); `pixels` top row
// first, B G R per texel.
Bytes MakeBmp24(std::uint32_t width, std::uint32_t height, const Bytes& pixels, bool topDown = false) {
    const std::uint32_t rowBytes = width * 3, stride = (rowBytes + 3) / 4 * 4;
    Bytes b = {'B', 'M'};
    Append32(b, 54 + stride * height);
    Append32(b, 0);
    Append32(b, 54);
    Append32(b, 40);
    Append32(b, width);
    Append32(b, topDown ? 0u - height : height);
    Append16(b, 1);
    Append16(b, 24);
    for (int i = 0; i < 6; ++i) Append32(b, 0);
    for (std::uint32_t i = 0; i < height; ++i) {
        const std::uint32_t y = topDown ? i : height - 1 - i;
        b.insert(b.end(), pixels.begin() + y * rowBytes, pixels.begin() + (y + 1) * rowBytes);
        b.insert(b.end(), stride - rowBytes, 0xee);
    }
    return b;
}

// An uncompressed 32-bit TGA, B G R A per texel in stored order; `topDown` sets the origin bit.
Bytes MakeTga32(std::uint16_t width, std::uint16_t height, bool topDown, const Bytes& stored) {
    Bytes b = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    Append16(b, width);
    Append16(b, height);
    b.push_back(32);
    b.push_back(static_cast<std::uint8_t>(0x08 | (topDown ? 0x20 : 0)));
    b.insert(b.end(), stored.begin(), stored.end());
    return b;
}

TEST(DecodeImage, BmpPngTgaFromComposedFiles) {
    // 3x2 BMP: its rows carry one byte of padding each; stored bottom-up, and top-down (a negative height).
    const Bytes bgr = {0, 0, 255, 0, 255, 0, 255, 0, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9};
    const std::vector<Texel> rgba = {{255, 0, 0, 255}, {0, 255, 0, 255}, {0, 0, 255, 255},
                                     {3, 2, 1, 255},   {6, 5, 4, 255},   {9, 8, 7, 255}};
    ExpectTexels(MustDecode(MakeBmp24(3, 2, bgr)), 3, 2, rgba);
    ExpectTexels(MustDecode(MakeBmp24(3, 2, bgr, true)), 3, 2, rgba);
    ExpectTexels(MustDecode(MakePng(2, 2, 6, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16})), 2, 2,
                 {{1, 2, 3, 4}, {5, 6, 7, 8}, {9, 10, 11, 12}, {13, 14, 15, 16}});
    ExpectTexels(MustDecode(MakePng(1, 2, 2, {1, 2, 3, 4, 5, 6})), 1, 2, {{1, 2, 3, 255}, {4, 5, 6, 255}});
    // Empty IDAT chunks before the data (the library would copy zero bytes to a null pointer).
    Bytes leadingEmpty = MakePng(1, 2, 2, {1, 2, 3, 4, 5, 6}), empty;
    AppendChunk(empty, "IDAT", {});
    AppendChunk(empty, "tEXt", {'a', 0, 'b'});
    AppendChunk(empty, "IDAT", {});
    leadingEmpty.insert(leadingEmpty.begin() + 33, empty.begin(), empty.end());
    ExpectTexels(MustDecode(leadingEmpty), 1, 2, {{1, 2, 3, 255}, {4, 5, 6, 255}});
    const Bytes stored = {3, 2, 1, 4, 7, 6, 5, 8};
    ExpectTexels(MustDecode(MakeTga32(1, 2, true, stored)), 1, 2, {{1, 2, 3, 4}, {5, 6, 7, 8}});
    ExpectTexels(MustDecode(MakeTga32(1, 2, false, stored)), 1, 2, {{5, 6, 7, 8}, {1, 2, 3, 4}});
}

TEST(DecodeImage, TruncatedFilesAreRefused) {
    // The image library itself would fill the missing texels of a BMP or TGA with zeros and report success.
    Bytes tgaRle = {0, 0, 10, 0, 0, 0, 0, 0, 0, 0, 0, 0, 4, 0, 1, 0, 24, 0x20};
    tgaRle.insert(tgaRle.end(), {0x82, 1, 2, 3, 0x00, 4, 5, 6}); // three texels repeated, then one as it is
    Bytes tgaPalette = {0, 1, 1, 0, 0, 2, 0, 24, 0, 0, 0, 0, 2, 0, 1, 0, 8, 0x20};
    tgaPalette.insert(tgaPalette.end(), {3, 2, 1, 6, 5, 4, 1, 0}); // two BGR entries, then indices 1 and 0
    struct Case {
        const char* name;
        Bytes file;
        std::size_t headerBytes; // shorter files (and PNGs) may fail for other reasons
        std::size_t neededBytes; // at least this many must be there
        std::vector<Texel> expected;
    };
    const Case cases[] = {
        {"BMP", MakeBmp24(3, 2, Bytes(18, 7)), 54, 54 + 12 + 9, std::vector<Texel>(6, Texel{7, 7, 7, 255})},
        {"TGA", MakeTga32(1, 2, true, {3, 2, 1, 4, 7, 6, 5, 8}), 18, 26, {{1, 2, 3, 4}, {5, 6, 7, 8}}},
        {"TGA RLE", tgaRle, 18, 26, {{3, 2, 1, 255}, {3, 2, 1, 255}, {3, 2, 1, 255}, {6, 5, 4, 255}}},
        {"TGA palette", tgaPalette, 18, 26, {{4, 5, 6, 255}, {1, 2, 3, 255}}},
        {"PNG", MakePng(1, 2, 2, {1, 2, 3, 4, 5, 6}), SIZE_MAX, 76, {{1, 2, 3, 255}, {4, 5, 6, 255}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Image image = MustDecode(c.file);
        ExpectTexels(image, image.width, image.height, c.expected);
        for (std::size_t n = 0; n < c.file.size(); ++n) {
            SCOPED_TRACE(n);
            const Bytes part(c.file.begin(), c.file.begin() + static_cast<std::ptrdiff_t>(n));
            Image cut;
            std::string error;
            const bool decoded = DecodeImage(part.data(), part.size(), cut, error);
            EXPECT_EQ(decoded, n >= c.neededBytes) << error; // a BMP's last row may lack its padding
            if (!decoded) {
                EXPECT_FALSE(error.empty());
            }
            if (n >= c.headerBytes && n < c.neededBytes) {
                const std::string kind = c.name[0] == 'B' ? "BMP" : "TGA";
                EXPECT_EQ(error.rfind(kind + ": the file is truncated (" + std::to_string(n) + " of at least ", 0), 0u)
                    << error;
            }
        }
    }
}

TEST(DecodeImage, RejectsWithTheFormatInTheSentence) {
    Bytes pngTooManyTexels = MakePng(16384, 8192, 6, {0, 0, 0, 0});
    Bytes pngBrokenData = MakePng(2, 2, 6, Bytes(16, 1));
    pngBrokenData[8 + 25 + 8 + 2] = 0x07; // an invalid deflate block type
    Bytes bmpTooWide = MakeBmp24(1, 1, {1, 2, 3});
    Put32(bmpTooWide, 18, 20000);
    // Found by the fuzzer: TGA headers that promise millions of texels, with a few bytes of data behind them.
    const Bytes tgaShortHeader = {0x25, 0, 2, 0, 0, 0x80, 0, 0, 0, 0x8b, 0x0a, 0x0b, 0x0c, 0x0d, 0x2e, 0x0f, 0x10};
    Bytes tgaRleBomb = {0, 0, 10, 0, 0, 0, 1, 2, 3, 0, 5, 4};
    tgaRleBomb.insert(tgaRleBomb.end(), 121, 0x10);
    tgaRleBomb.push_back(6);
    // Found by the fuzzer: a PNG chunk that claims 1 GB; for an IDAT chunk the library would allocate that much first.
    const Bytes pngHugeChunk = {
        0x89, 0x50, 0x4e, 0x47, 0x0d, 0x0a, 0x1a, 0x0a, 0x00, 0x00, 0x00, 0x0d, 0x49, 0x48, 0x44, 0x52, 0x00, 0x00,
        0x00, 0x02, 0x00, 0x00, 0x00, 0x01, 0x08, 0x02, 0x00, 0x00, 0x00, 0x7b, 0x40, 0xe8, 0xdd, 0x00, 0x00, 0x00,
        0x0f, 0x49, 0x44, 0x41, 0x54, 0x78, 0xda, 0x63, 0x40, 0x64, 0x00, 0x00, 0x0d, 0x49, 0x48, 0x44, 0x52, 0x00,
        0x00, 0x00, 0x02, 0x00, 0x00, 0x52, 0x44, 0x48, 0x49, 0x60, 0x49, 0x44, 0x41, 0x54, 0x31, 0x78, 0xda, 0x40,
        0x64, 0x62, 0x66, 0x61, 0x65, 0x03, 0x00, 0x00, 0x3f, 0x00, 0x16, 0x98, 0x27};
    // 4096x4096 RGBA is 64 MiB inflated; 8203 bytes of deflate data give 8 MiB at most.
    const Bytes pngTooLittleData = MakePng(4096, 4096, 6, Bytes(4096, 0));
    struct Case {
        const char* name;
        Bytes file;
        const char* error;
    };
    const Case cases[] = {
        {"empty", {}, "Image: the file is empty."},
        {"TGA short header", tgaShortHeader, "TGA: the file is truncated (17 of at least 18 bytes)."},
        {"TGA run-length bomb", tgaRleBomb, "TGA: the file is truncated (134 of at least 158 bytes)."},
        {"PNG chunk beyond the end", pngHugeChunk, "PNG: the file is truncated (85 of at least 1145588136 bytes)."},
        {"PNG inflating too much", pngTooLittleData, "PNG: 8203 bytes of image data cannot hold 4096x4096 texels."},
        {"text", {'h', 'e', 'l', 'l', 'o'}, "Image: unknown file format (not DDS, BMP, PNG or TGA)."},
        {"DDS magic only", {'D', 'D', 'S', ' '}, "DDS: the header is truncated (4 of 128 bytes)."},
        {"PNG signature only", {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'}, "PNG: the file is corrupt (first not IHDR)."},
        {"PNG area", pngTooManyTexels, "PNG: 16384x8192 exceeds the limit of 67108864 texels."},
        {"PNG data", pngBrokenData, "PNG: the file is corrupt."},
        {"BMP side", bmpTooWide, "BMP: 20000x1 exceeds the limit of 16384 texels per side."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Image image;
        std::string error;
        EXPECT_FALSE(DecodeImage(c.file.data(), c.file.size(), image, error));
        EXPECT_EQ(error, c.error);
    }
}

TEST(LoadImageFile, ResolvesThePathAndGivesTheReason) {
    const std::filesystem::path dir = std::filesystem::path(testing::TempDir()) / "vv_image_load";
    std::filesystem::create_directories(dir);
    const Bytes png = MakePng(1, 1, 6, {9, 8, 7, 6});
    std::ofstream(dir / "Tex.PNG", std::ios::binary).write(reinterpret_cast<const char*>(png.data()), 5);
    std::ofstream(dir / "Good.png", std::ios::binary)
        .write(reinterpret_cast<const char*>(png.data()), static_cast<std::streamsize>(png.size()));
    Image image;
    std::string error;
    // Windows separators and another letter case find the file, as every path of the program does.
    const std::string base = dir.string();
    ASSERT_TRUE(LoadImageFile(base + "\\GOOD.PNG", image, error)) << error;
    ExpectTexels(image, 1, 1, {{9, 8, 7, 6}});
    EXPECT_FALSE(LoadImageFile(base + "/missing.dds", image, error));
    EXPECT_EQ(error, "The file cannot be read: No such file or directory.");
    EXPECT_FALSE(LoadImageFile(base + "/tex.png", image, error));
    EXPECT_EQ(error, "Image: unknown file format (not DDS, BMP, PNG or TGA).");
    EXPECT_FALSE(LoadImageFile(base, image, error));
    EXPECT_EQ(error.rfind("The file cannot be read: ", 0), 0u) << error;
    std::filesystem::remove_all(dir);
}

// ---------------------------------------------------------------------------------------------------------------
// Files written by others, and by our own writer

std::uint32_t Header32(const Bytes& file, std::size_t at) {
    return std::uint32_t{file[at]} | std::uint32_t{file[at + 1]} << 8 | std::uint32_t{file[at + 2]} << 16 |
           std::uint32_t{file[at + 3]} << 24;
}

Bytes ReadBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TEST(PeerTextures, AllDecodeWithTheirHeaderSizes) {
    const std::filesystem::path root = std::filesystem::path(VV_PEER_MODELS);
    if (!std::filesystem::is_directory(root / "dxsdk-media")) GTEST_SKIP() << "no peer models at " << root;
    int dds = 0, others = 0;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
        std::string ext = entry.path().extension().string();
        for (char& ch : ext) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
        if (ext != ".dds" && ext != ".tga" && ext != ".png" && ext != ".bmp") continue;
        SCOPED_TRACE(entry.path().string());
        const Bytes file = ReadBytes(entry.path());
        Image image;
        std::string error;
        ASSERT_TRUE(LoadImageFile(entry.path().string(), image, error)) << error;
        ASSERT_EQ(image.rgba.size(), std::size_t{image.width} * image.height * 4);
        if (ext != ".dds") {
            // Sizes as the headers say: TGA 16-bit little-endian at 12, BMP 32-bit at 18, PNG big-endian at 16.
            const std::uint32_t width = ext == ".tga"   ? std::uint32_t{file[12]} | std::uint32_t{file[13]} << 8
                                        : ext == ".bmp" ? Header32(file, 18)
                                                        : std::uint32_t{file[18]} << 8 | file[19];
            const std::uint32_t height = ext == ".tga"   ? std::uint32_t{file[14]} | std::uint32_t{file[15]} << 8
                                         : ext == ".bmp" ? Header32(file, 22)
                                                         : std::uint32_t{file[22]} << 8 | file[23];
            EXPECT_EQ(image.width, width);
            EXPECT_EQ(image.height, height);
            ++others;
            continue;
        }
        ++dds;
        EXPECT_EQ(image.height, Header32(file, 12));
        EXPECT_EQ(image.width, Header32(file, 16));
        // Level 0 of the first face is all that is read: the file cut right after it decodes the same.
        const bool dxt1 = Header32(file, 84) == FourCC("DXT1");
        const std::size_t level0 = dxt1 ? std::size_t{(image.width + 3) / 4} * ((image.height + 3) / 4) * 8
                                        : std::size_t{image.width} * image.height * Header32(file, 88) / 8;
        ASSERT_LE(128 + level0, file.size());
        const Bytes cut(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(128 + level0));
        Image first;
        ASSERT_TRUE(DecodeDDS(cut.data(), cut.size(), first, error)) << error;
        EXPECT_EQ(first.rgba, image.rgba);
        if (Header32(file, 112) & 0x200) { // a cube map: its second face differs from the first
            Bytes shifted(cut.begin(), cut.begin() + 128);
            shifted.insert(shifted.end(), file.begin() + static_cast<std::ptrdiff_t>(128 + level0),
                           file.begin() + static_cast<std::ptrdiff_t>(128 + 2 * level0));
            Image face;
            ASSERT_TRUE(DecodeDDS(shifted.data(), shifted.size(), face, error)) << error;
            EXPECT_NE(face.rgba, image.rgba);
        }
    }
    EXPECT_EQ(dds, 8);
    EXPECT_EQ(others, 5);
}

std::vector<Texel> Pattern(const std::string& name, std::uint32_t width, std::uint32_t height) {
    std::vector<Texel> out;
    for (std::uint32_t y = 0; y < height; ++y) {
        for (std::uint32_t x = 0; x < width; ++x) {
            if (name == "checker") {
                out.push_back((x / 8 + y / 8) % 2 == 0 ? Texel{255, 255, 255, 255} : Texel{255, 0, 0, 255});
            } else if (name == "cutout") {
                out.push_back((x / 6 + y / 6) % 2 == 0 ? Texel{0, 255, 0, 255} : Texel{0, 0, 0, 0});
            } else if (name == "stripes") {
                out.push_back((x / 2) % 2 == 0 ? Texel{0, 0, 255, 255} : Texel{255, 255, 0, 255});
            } else {
                out.push_back({static_cast<std::uint8_t>(x * 255 / (width - 1)),
                               static_cast<std::uint8_t>(y * 255 / (height - 1)), 128, 255});
            }
        }
    }
    return out;
}

TEST(MakeDdsScript, WrittenFilesDecode) {
    if (std::system("python3 -c 'import struct' >/dev/null 2>&1") != 0) GTEST_SKIP() << "no python3";
    const std::filesystem::path dir = std::filesystem::path(testing::TempDir()) / "vv_make_dds";
    std::filesystem::create_directories(dir);
    struct Case {
        const char* format;
        const char* pattern;
        std::uint32_t width, height;
        int maxError; // largest difference of a channel from the pattern
    };
    const Case cases[] = {
        {"A8R8G8B8", "gradient", 13, 7, 0}, {"A8R8G8B8", "checker", 16, 16, 0}, {"DXT1", "checker", 18, 10, 0},
        {"DXT1", "stripes", 9, 5, 0},       {"DXT1", "gradient", 32, 32, 24},  {"DXT1", "cutout", 20, 12, 0},
        {"A8R8G8B8", "cutout", 12, 12, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.format) + " " + c.pattern);
        const std::string out = (dir / "t.dds").string();
        const std::string command = "python3 '" VV_SOURCE_DIR "/scripts/make_dds.py' '" + out + "' " +
                                    std::to_string(c.width) + " " + std::to_string(c.height) + " " + c.format + " " +
                                    c.pattern;
        ASSERT_EQ(std::system(command.c_str()), 0) << command;
        Image image;
        std::string error;
        ASSERT_TRUE(LoadImageFile(out, image, error)) << error;
        ASSERT_EQ(image.width, c.width);
        ASSERT_EQ(image.height, c.height);
        const std::vector<Texel> got = Texels(image), expected = Pattern(c.pattern, c.width, c.height);
        int worst = 0;
        for (std::size_t i = 0; i < got.size(); ++i) {
            for (int k = 0; k < 4; ++k) worst = std::max(worst, std::abs(int(got[i][k]) - int(expected[i][k])));
        }
        EXPECT_LE(worst, c.maxError);
    }
    std::filesystem::remove_all(dir);
}

} // namespace
