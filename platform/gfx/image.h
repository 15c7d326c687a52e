// Texture files: our DDS decoder, and BMP/PNG/TGA through stb_image. Everything decodes to 8-bit RGBA.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Invariants: rgba.size() == width * height * 4; rows top to bottom, each left to right, bytes R, G, B, A.
struct Image {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::vector<std::uint8_t> rgba;
};

// Every decoder refuses images wider or higher than kMaxImageSide or with more than kMaxImageTexels texels
// (256 MiB of RGBA), before it allocates anything for the pixels.
constexpr std::uint32_t kMaxImageSide = 16384;
constexpr std::uint64_t kMaxImageTexels = std::uint64_t{1} << 26;

// The decoders return false and set `error` to one sentence starting with the format ("DDS: ...", "PNG: ...",
// "Image: ..." when the format is unknown); `image` is left untouched then. On success it is replaced.

// dds.cpp ------------------------------------------------------------------------------------------------------
// DXT1 (with 1-bit alpha), DXT3, DXT5, A8R8G8B8, X8R8G8B8, R8G8B8, R5G6B5, X1R5G5B5, A1R5G5B5, A4R4G4B4, L8, A8L8.
// Mip level 0 of a chain; the first face of a cube map. On failure returns false and sets `error` to one sentence.
// Also accepted: DXT2/DXT4 (decoded like DXT3/DXT5), A8B8G8R8, X8B8G8R8, X4R4G4B4, A8, Direct3D format numbers in
// the FourCC field, and the DX10 header with BC1-BC3 and 8-bit RGBA/BGRA formats. Volume textures give slice 0.
bool DecodeDDS(const std::uint8_t* data, std::size_t size, Image& image, std::string& error);
// The size check shared by all formats: false with "<kind>: ..." for an empty image or one beyond the limits.
bool CheckImageSize(std::string_view kind, std::uint64_t width, std::uint64_t height, std::string& error);

// image.cpp ----------------------------------------------------------------------------------------------------
// DDS by its magic, anything else through the image library (BMP, PNG, TGA).
bool DecodeImage(const std::uint8_t* data, std::size_t size, Image& image, std::string& error);
// Reads the file (an ANSI path, resolved like every path of the program) and decodes it. The error does not repeat
// the path, which the caller holds: "The file cannot be read: <system's reason>." or the decoder's sentence.
bool LoadImageFile(std::string_view ansiPath, Image& image, std::string& error);
