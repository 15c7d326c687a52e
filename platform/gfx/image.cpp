// Texture files: the file wrapper, the choice of decoder, and BMP/PNG/TGA through stb_image.
//
// stb_image is compiled here rather than linked from Debian's libstb: we build only the three formats we read
// (the library also holds JPEG, GIF, PSD, HDR, PIC and PNM readers that no texture of ours needs), keep its
// symbols private to this file, and let the fuzzer's sanitizers see inside it.
#include "image.h"

#include "sys.h"

#include <climits>
#include <cstring>
#include <memory>

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
        error = std::string(ansiPath) + ": " + file.reason + ".";
        return false;
    }
    std::string reason;
    if (!DecodeImage(file.bytes.data(), file.bytes.size(), image, reason)) {
        error = std::string(ansiPath) + ": " + reason;
        return false;
    }
    return true;
}
