// Texture files: the file wrapper, the choice of decoder, and BMP/PNG/TGA through stb_image.
//
// stb_image is compiled here rather than linked from Debian's libstb: we build only the three formats we read
// (the library also holds JPEG, GIF, PSD, HDR, PIC and PNM readers that no texture of ours needs), keep its
// symbols private to this file, and let the fuzzer's sanitizers see inside it.
#include "image.h"

#include "sys.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <memory>
#include <vector>

#define STB_IMAGE_STATIC
#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_BMP
#define STBI_ONLY_PNG
#define STBI_ONLY_TGA
#define STBI_NO_STDIO
#define STBI_NO_LINEAR
#define STBI_NO_HDR
#define STBI_MAX_DIMENSIONS 16384
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wconversion"
#pragma GCC diagnostic ignored "-Wsign-conversion"
#pragma GCC diagnostic ignored "-Wshadow"
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wunused-parameter"
#pragma GCC diagnostic ignored "-Wimplicit-fallthrough"
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#pragma GCC diagnostic ignored "-Wdouble-promotion"
#include <stb/stb_image.h>
#pragma GCC diagnostic pop

static_assert(STBI_MAX_DIMENSIONS == kMaxImageSide, "stb_image's side limit must be ours");

namespace {

struct StbFree {
    void operator()(stbi_uc* p) const { stbi_image_free(p); }
};

// The library's reason for the last refusal, as " (reason)", or nothing where it gave none.
std::string LibraryReason() {
    const char* reason = stbi_failure_reason();
    return reason && *reason ? std::string(" (") + reason + ")" : std::string();
}

// The format that the first bytes announce; TGA has no signature and is what is left.
const char* GuessLibraryFormat(const std::uint8_t* data, std::size_t size) {
    static constexpr std::uint8_t kPng[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
    if (size >= 8 && std::memcmp(data, kPng, 8) == 0) return "PNG";
    if (size >= 2 && data[0] == 'B' && data[1] == 'M') return "BMP";
    return "TGA";
}

std::uint32_t Read16(const std::uint8_t* p) { return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8; }
std::uint32_t Read32(const std::uint8_t* p) { return Read16(p) | Read16(p + 2) << 16; }

std::uint32_t ReadBe32(const std::uint8_t* p) {
    return std::uint32_t{p[0]} << 24 | std::uint32_t{p[1]} << 16 | std::uint32_t{p[2]} << 8 | std::uint32_t{p[3]};
}

// Deflate turns at most two bits into 258 bytes.
constexpr std::uint64_t kMaxDeflateRatio = 1032;

// The chunks of a PNG up to IEND must lie within the file (the library grows its buffer to whatever size an IDAT
// chunk claims before it reads it), and the IDAT chunks together must be able to inflate to the image's texels
// (the library allocates the whole inflated size up front).
bool CheckPngChunks(const std::uint8_t* data, std::size_t size, std::uint64_t width, std::uint64_t height,
                    std::string& error) {
    if (size < 33) { // signature and IHDR
        error = "PNG: the file is truncated (" + std::to_string(size) + " of at least 33 bytes).";
        return false;
    }
    std::uint64_t compressed = 0;
    std::size_t at = 8;
    while (size - at >= 8) {
        const std::uint64_t length = ReadBe32(data + at);
        const bool idat = std::memcmp(data + at + 4, "IDAT", 4) == 0, iend = std::memcmp(data + at + 4, "IEND", 4) == 0;
        const std::uint64_t end = at + 12 + length;
        if (end > size) {
            error = "PNG: the file is truncated (" + std::to_string(size) + " of at least " + std::to_string(end) +
                    " bytes).";
            return false;
        }
        if (idat) compressed += length;
        if (iend) break;
        at = static_cast<std::size_t>(end);
    }
    // Samples per texel by colour type (grey, -, RGB, palette, grey+alpha, -, RGBA), times the bit depth.
    static constexpr std::uint64_t kSamples[7] = {1, 0, 3, 1, 2, 0, 4};
    const std::uint64_t type = data[25], depth = data[24];
    const std::uint64_t bits = (type < 7 ? kSamples[type] : 0) * depth;
    const std::uint64_t inflated = (width * height * bits + 7) / 8;
    if (compressed * kMaxDeflateRatio < inflated) {
        error = "PNG: " + std::to_string(compressed) + " bytes of image data cannot hold " + std::to_string(width) +
                "x" + std::to_string(height) + " texels.";
        return false;
    }
    return true;
}

// The library fills texels past the end of a BMP or TGA file with zeros and reports success. Before it decodes
// them, we check that the bytes it will read are there, counted the way it reads them. The header fields were
// checked by the library's own header reader; `width` and `height` are its results (without sign).
bool CheckLibraryDataPresent(const std::string& kind, const std::uint8_t* data, std::size_t size,
                             std::uint64_t width, std::uint64_t height, std::string& error) {
    std::uint64_t needed = 0;
    if (kind == "PNG") {
        return CheckPngChunks(data, size, width, height, error);
    } else if (kind == "BMP") {
        if (size < 30) {
            needed = 30; // the header fields read below
        } else {
            // Rows of whole 32-bit words from the pixel data offset on; the last row's padding may be missing.
            const std::uint32_t headerSize = Read32(data + 14);
            const std::uint64_t bits = headerSize == 12 ? Read16(data + 24) : Read16(data + 28);
            const std::uint64_t stride = (width * bits + 31) / 32 * 4;
            needed = Read32(data + 10) + stride * (height - 1) + (width * bits + 7) / 8;
        }
    } else if (kind == "TGA") {
        if (size < 18) {
            needed = 18;
        } else {
            const std::uint64_t idLength = data[0], indexed = data[1], type = data[2];
            const std::uint64_t paletteStart = Read16(data + 3), paletteLength = Read16(data + 5);
            const std::uint64_t paletteBits = data[7], pixelBits = data[16];
            const std::uint64_t pixelBytes = (pixelBits + 7) / 8;
            std::uint64_t at = 18 + idLength;
            if (indexed) at += paletteStart + paletteLength * ((paletteBits + 7) / 8);
            if (type < 8) {
                at += width * height * pixelBytes;
            } else {
                // Run-length packets: a count byte, then one texel to repeat or `count` texels as they are.
                for (std::uint64_t left = width * height; left > 0 && at <= size;) {
                    if (at == size) {
                        ++at; // the next packet's count byte is missing
                        break;
                    }
                    const std::uint8_t packet = data[at++];
                    const std::uint64_t count = std::min<std::uint64_t>(left, (packet & 127u) + 1);
                    at += (packet & 128u) ? pixelBytes : count * pixelBytes;
                    left -= count;
                }
            }
            needed = at;
        }
    }
    if (needed > size) {
        error = kind + ": the file is truncated (" + std::to_string(size) + " of at least " +
                std::to_string(needed) + " bytes).";
        return false;
    }
    return true;
}

// Empty IDAT chunks before the first one with data make the library copy zero bytes to a null buffer (undefined
// behaviour, which the sanitizers stop at). They carry nothing, so a copy of the file without them is decoded
// instead. Runs after CheckPngChunks, so every chunk up to IEND lies within the file.
bool DropLeadingEmptyIdat(const std::uint8_t* data, std::size_t size, std::vector<std::uint8_t>& copy) {
    bool dropped = false;
    std::size_t at = 8;
    while (size - at >= 12) {
        const std::size_t length = ReadBe32(data + at);
        const bool idat = std::memcmp(data + at + 4, "IDAT", 4) == 0;
        if ((idat && length > 0) || std::memcmp(data + at + 4, "IEND", 4) == 0) break;
        const std::size_t next = at + 12 + length;
        if (idat) {
            if (!dropped) copy.assign(data, data + at);
            dropped = true;
        } else if (dropped) {
            copy.insert(copy.end(), data + at, data + next);
        }
        at = next;
    }
    if (dropped) copy.insert(copy.end(), data + at, data + size);
    return dropped;
}

bool DecodeWithLibrary(const std::uint8_t* data, std::size_t size, Image& image, std::string& error) {
    const std::string kind = GuessLibraryFormat(data, size);
    if (size > static_cast<std::size_t>(INT_MAX)) {
        error = kind + ": the file is too large.";
        return false;
    }
    const int length = static_cast<int>(size);
    int width = 0, height = 0, channels = 0;
    // The header first, by the reader of the format that the signature names: the size limits hold before the
    // library allocates anything for the pixels, and its reason for a refusal is that reader's.
    stbi__g_failure_reason = nullptr;
    stbi__context header;
    stbi__start_mem(&header, data, length);
    const int known = kind == "PNG"   ? stbi__png_info(&header, &width, &height, &channels)
                      : kind == "BMP" ? stbi__bmp_info(&header, &width, &height, &channels)
                                      : stbi__tga_info(&header, &width, &height, &channels);
    if (!known) {
        if (kind == "TGA") {
            error = "Image: unknown file format (not DDS, BMP, PNG or TGA).";
        } else {
            error = kind + ": the file is corrupt" + LibraryReason() + ".";
        }
        return false;
    }
    // A BMP stored top-down reports its height as a negative number here.
    const auto side = [](int v) { return static_cast<std::uint64_t>(v < 0 ? -std::int64_t{v} : std::int64_t{v}); };
    if (!CheckImageSize(kind, side(width), side(height), error)) return false;
    if (!CheckLibraryDataPresent(kind, data, size, side(width), side(height), error)) return false;
    std::vector<std::uint8_t> copy;
    if (kind == "PNG" && DropLeadingEmptyIdat(data, size, copy)) {
        return DecodeWithLibrary(copy.data(), copy.size(), image, error);
    }
    stbi__g_failure_reason = nullptr;
    std::unique_ptr<stbi_uc, StbFree> pixels(stbi_load_from_memory(data, length, &width, &height, &channels, 4));
    if (!pixels) {
        error = kind + ": the file is corrupt" + LibraryReason() + ".";
        return false;
    }
    if (!CheckImageSize(kind, static_cast<std::uint64_t>(width), static_cast<std::uint64_t>(height), error)) {
        return false;
    }
    Image decoded;
    decoded.width = static_cast<std::uint32_t>(width);
    decoded.height = static_cast<std::uint32_t>(height);
    const std::size_t bytes = std::size_t{decoded.width} * decoded.height * 4;
    decoded.rgba.assign(pixels.get(), pixels.get() + bytes);
    image = std::move(decoded);
    return true;
}

} // namespace

bool DecodeImage(const std::uint8_t* data, std::size_t size, Image& image, std::string& error) {
    if (size == 0) {
        error = "Image: the file is empty.";
        return false;
    }
    if (size >= 4 && std::memcmp(data, "DDS ", 4) == 0) return DecodeDDS(data, size, image, error);
    return DecodeWithLibrary(data, size, image, error);
}

bool LoadImageFile(std::string_view ansiPath, Image& image, std::string& error) {
    ReadResult file = ReadWholeFile(ansiPath);
    if (file.failure != ReadFailure::None) {
        error = "The file cannot be read: " + file.reason + ".";
        return false;
    }
    return DecodeImage(file.bytes.data(), file.bytes.size(), image, error);
}
