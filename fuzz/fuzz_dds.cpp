// Texture files as they come from a game directory: DDS through our decoder, BMP/PNG/TGA through stb_image.
#include "image.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Image image;
    std::string error;
    if (DecodeImage(data, size, image, error)) {
        // The invariants that the renderer relies on when it uploads the texels.
        if (image.width == 0 || image.height == 0 || image.width > kMaxImageSide || image.height > kMaxImageSide ||
            image.rgba.size() != std::size_t{image.width} * image.height * 4) {
            std::abort();
        }
    } else if (error.empty()) {
        std::abort();
    }
    return 0;
}
