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

// DXT1 (with 1-bit alpha), DXT3, DXT5, A8R8G8B8, X8R8G8B8, R8G8B8, R5G6B5, X1R5G5B5, A1R5G5B5, A4R4G4B4, L8, A8L8.
// Mip level 0 of a chain; the first face of a cube map. On failure returns false and sets `error` to one sentence.
bool DecodeDDS(const std::uint8_t* data, std::size_t size, Image& image, std::string& error);
// DDS by its magic, anything else through the image library (BMP, PNG, TGA).
bool DecodeImage(const std::uint8_t* data, std::size_t size, Image& image, std::string& error);
// Reads the file (an ANSI path, resolved like every path of the program) and decodes it.
bool LoadImageFile(std::string_view ansiPath, Image& image, std::string& error);
