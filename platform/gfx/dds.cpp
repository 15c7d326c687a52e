// Our DDS decoder: the top mip level of the first face (or slice) of a DDS texture, decoded to 8-bit RGBA.
//
// Layout of a file: the magic "DDS ", a 124-byte header with a 32-byte pixel format inside it, optionally the
// 20-byte DX10 header (FourCC "DX10"), then the pixel data. Level 0 of the first face always comes first, so mip
// chains, cube maps and volume textures need no further offsets: only the size of level 0 has to be present.
#include "image.h"

#include <array>
#include <bit>
#include <cstdio>

namespace {

constexpr std::size_t kMagicBytes = 4;
constexpr std::uint32_t kHeaderSize = 124;
constexpr std::uint32_t kPixelFormatSize = 32;
constexpr std::size_t kDataOffset = kMagicBytes + kHeaderSize; // 128
constexpr std::size_t kDx10HeaderBytes = 20;

// Pixel format flags.
constexpr std::uint32_t kPfAlphaPixels = 0x1;
constexpr std::uint32_t kPfAlpha = 0x2;
constexpr std::uint32_t kPfFourCC = 0x4;
constexpr std::uint32_t kPfRgb = 0x40;
constexpr std::uint32_t kPfLuminance = 0x20000;

std::uint32_t Read32(const std::uint8_t* p) {
    return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 | std::uint32_t{p[3]} << 24;
}

constexpr std::uint32_t FourCC(char a, char b, char c, char d) {
    return std::uint32_t(std::uint8_t(a)) | std::uint32_t(std::uint8_t(b)) << 8 | std::uint32_t(std::uint8_t(c)) << 16 |
           std::uint32_t(std::uint8_t(d)) << 24;
}

enum class Codec { Dxt1, Dxt3, Dxt5, Masks };

// An uncompressed layout: bytes per pixel and the bit mask of each channel in the little-endian pixel word.
// A zero mask gives 0 for a colour channel and 255 for alpha; luminance formats carry the same mask in R, G, B.
struct MaskLayout {
    std::uint32_t bytes = 0;
    std::uint32_t r = 0, g = 0, b = 0, a = 0;
};

struct Format {
    Codec codec = Codec::Masks;
    MaskLayout layout;
};

constexpr MaskLayout kA8R8G8B8{4, 0xff0000, 0xff00, 0xff, 0xff000000};
constexpr MaskLayout kX8R8G8B8{4, 0xff0000, 0xff00, 0xff, 0};
constexpr MaskLayout kA8B8G8R8{4, 0xff, 0xff00, 0xff0000, 0xff000000};
constexpr MaskLayout kX8B8G8R8{4, 0xff, 0xff00, 0xff0000, 0};
constexpr MaskLayout kR8G8B8{3, 0xff0000, 0xff00, 0xff, 0};
constexpr MaskLayout kR5G6B5{2, 0xf800, 0x07e0, 0x001f, 0};
constexpr MaskLayout kX1R5G5B5{2, 0x7c00, 0x03e0, 0x001f, 0};
constexpr MaskLayout kA1R5G5B5{2, 0x7c00, 0x03e0, 0x001f, 0x8000};
constexpr MaskLayout kA4R4G4B4{2, 0x0f00, 0x00f0, 0x000f, 0xf000};
constexpr MaskLayout kX4R4G4B4{2, 0x0f00, 0x00f0, 0x000f, 0};
constexpr MaskLayout kL8{1, 0xff, 0xff, 0xff, 0};
constexpr MaskLayout kA8L8{2, 0xff, 0xff, 0xff, 0xff00};
constexpr MaskLayout kA8{1, 0, 0, 0, 0xff};

bool SameLayout(const MaskLayout& x, const MaskLayout& y) {
    return x.bytes == y.bytes && x.r == y.r && x.g == y.g && x.b == y.b && x.a == y.a;
}

// The uncompressed formats that a legacy pixel format may describe by its flags, bit count and masks.
bool MatchMasks(std::uint32_t flags, std::uint32_t bits, std::uint32_t r, std::uint32_t g, std::uint32_t b,
                std::uint32_t a, MaskLayout& out) {
    if (bits % 8 != 0 || bits == 0 || bits > 32) return false;
    // The alpha mask counts only when a flag says the format has alpha.
    if ((flags & (kPfAlphaPixels | kPfAlpha)) == 0) a = 0;
    MaskLayout candidate{bits / 8, r, g, b, a};
    static constexpr std::array kRgb{kA8R8G8B8, kX8R8G8B8, kA8B8G8R8, kX8B8G8R8, kR8G8B8,
                                     kR5G6B5,   kX1R5G5B5, kA1R5G5B5, kA4R4G4B4, kX4R4G4B4};
    if (flags & kPfRgb) {
        for (const MaskLayout& known : kRgb) {
            if (SameLayout(candidate, known)) {
                out = known;
                return true;
            }
        }
        return false;
    }
    if (flags & kPfLuminance) {
        candidate.g = candidate.b = candidate.r;
        for (const MaskLayout& known : {kL8, kA8L8}) {
            if (SameLayout(candidate, known)) {
                out = known;
                return true;
            }
        }
        return false;
    }
    if (flags & kPfAlpha) {
        candidate.r = candidate.g = candidate.b = 0;
        if (SameLayout(candidate, kA8)) {
            out = kA8;
            return true;
        }
    }
    return false;
}

// Some writers put a Direct3D format number into the FourCC field instead of masks.
bool MatchD3DFormatNumber(std::uint32_t number, Format& out) {
    struct Entry {
        std::uint32_t number;
        MaskLayout layout;
    };
    static constexpr std::array kNumbers{
        Entry{20, kR8G8B8},   Entry{21, kA8R8G8B8}, Entry{22, kX8R8G8B8}, Entry{23, kR5G6B5},
        Entry{24, kX1R5G5B5}, Entry{25, kA1R5G5B5}, Entry{26, kA4R4G4B4}, Entry{28, kA8},
        Entry{30, kX4R4G4B4}, Entry{32, kA8B8G8R8}, Entry{33, kX8B8G8R8}, Entry{50, kL8},
        Entry{51, kA8L8},
    };
    for (const Entry& e : kNumbers) {
        if (e.number == number) {
            out = Format{Codec::Masks, e.layout};
            return true;
        }
    }
    return false;
}

bool MatchDxgiFormat(std::uint32_t dxgi, Format& out) {
    switch (dxgi) {
    case 70: case 71: case 72: out = Format{Codec::Dxt1, {}}; return true;      // BC1 typeless, unorm, sRGB
    case 73: case 74: case 75: out = Format{Codec::Dxt3, {}}; return true;      // BC2
    case 76: case 77: case 78: out = Format{Codec::Dxt5, {}}; return true;      // BC3
    case 27: case 28: case 29: out = Format{Codec::Masks, kA8B8G8R8}; return true; // R8G8B8A8
    case 87: case 90: case 91: out = Format{Codec::Masks, kA8R8G8B8}; return true; // B8G8R8A8
    case 88: case 92: case 93: out = Format{Codec::Masks, kX8R8G8B8}; return true; // B8G8R8X8
    case 85: out = Format{Codec::Masks, kR5G6B5}; return true;                   // B5G6R5
    case 86: out = Format{Codec::Masks, kA1R5G5B5}; return true;                 // B5G5R5A1
    case 115: out = Format{Codec::Masks, kA4R4G4B4}; return true;                // B4G4R4A4
    case 65: out = Format{Codec::Masks, kA8}; return true;                       // A8
    default: return false;
    }
}

std::string DescribeFourCC(std::uint32_t code) {
    char text[16];
    bool printable = true;
    for (int i = 0; i < 4; ++i) {
        const auto c = static_cast<unsigned char>(code >> (8 * i));
        if (c < 0x20 || c > 0x7e) printable = false;
        text[i] = static_cast<char>(c);
    }
    if (printable) return "'" + std::string(text, 4) + "'";
    std::snprintf(text, sizeof text, "0x%08X", code);
    return text;
}

// ---------------------------------------------------------------------------------------------------------------
// Uncompressed pixels

// Widens an n-bit channel value (n <= 8) to 8 bits by repeating its bits: 5 bits v give v<<3 | v>>2.
std::uint8_t WidenChannel(std::uint32_t v, int n) {
    if (n >= 8) return static_cast<std::uint8_t>(v >> (n - 8));
    std::uint32_t r = 0;
    int bits = 0;
    while (bits < 8) {
        r = (r << n) | v;
        bits += n;
    }
    return static_cast<std::uint8_t>(r >> (bits - 8));
}

// One channel of a mask layout: its shift and a table from the raw value to 8 bits.
struct ChannelLut {
    int shift = 0;
    std::uint32_t valueMask = 0; // the raw value's mask after shifting; 0 for an absent channel
    std::uint8_t absent = 0;
    std::array<std::uint8_t, 256> table{};

    ChannelLut(std::uint32_t mask, std::uint8_t valueIfAbsent) : absent(valueIfAbsent) {
        if (mask == 0) return;
        shift = std::countr_zero(mask);
        const int width = std::popcount(mask); // every known layout has contiguous masks of at most 8 bits
        valueMask = mask >> shift;
        for (std::uint32_t v = 0; v <= valueMask; ++v) table[v] = WidenChannel(v, width);
    }
    std::uint8_t operator()(std::uint32_t pixel) const {
        return valueMask ? table[(pixel >> shift) & valueMask] : absent;
    }
};

void DecodeMasks(const std::uint8_t* src, const MaskLayout& layout, Image& image) {
    const ChannelLut r(layout.r, 0), g(layout.g, 0), b(layout.b, 0), a(layout.a, 255);
    const std::size_t texels = std::size_t{image.width} * image.height;
    std::uint8_t* out = image.rgba.data();
    for (std::size_t i = 0; i < texels; ++i, src += layout.bytes, out += 4) {
        std::uint32_t pixel = 0;
        for (std::uint32_t k = 0; k < layout.bytes; ++k) pixel |= std::uint32_t{src[k]} << (8 * k);
        out[0] = r(pixel);
        out[1] = g(pixel);
        out[2] = b(pixel);
        out[3] = a(pixel);
    }
}

// ---------------------------------------------------------------------------------------------------------------
// Block compression: 4x4 texel blocks, rows of blocks top to bottom, texels within a block row by row.

using Block = std::array<std::array<std::uint8_t, 4>, 16>;

std::array<std::uint8_t, 4> Expand565(std::uint32_t c) {
    const std::uint32_t r = (c >> 11) & 31, g = (c >> 5) & 63, b = c & 31;
    return {static_cast<std::uint8_t>(r << 3 | r >> 2), static_cast<std::uint8_t>(g << 2 | g >> 4),
            static_cast<std::uint8_t>(b << 3 | b >> 2), 255};
}

// (w0 * x + w1 * y) / (w0 + w1), rounded to nearest.
std::uint8_t Blend(std::uint32_t x, std::uint32_t w0, std::uint32_t y, std::uint32_t w1) {
    const std::uint32_t sum = w0 + w1;
    return static_cast<std::uint8_t>((w0 * x + w1 * y + sum / 2) / sum);
}

// The colour half of a block (8 bytes). With `oneBitAlpha` (DXT1), c0 <= c1 selects three colours and transparent
// black; DXT3 and DXT5 always use four colours.
void DecodeColourBlock(const std::uint8_t* p, bool oneBitAlpha, Block& block) {
    const std::uint32_t c0 = std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8;
    const std::uint32_t c1 = std::uint32_t{p[2]} | std::uint32_t{p[3]} << 8;
    std::array<std::array<std::uint8_t, 4>, 4> palette{Expand565(c0), Expand565(c1), {}, {}};
    if (c0 > c1 || !oneBitAlpha) {
        for (int k = 0; k < 3; ++k) {
            palette[2][k] = Blend(palette[0][k], 2, palette[1][k], 1);
            palette[3][k] = Blend(palette[0][k], 1, palette[1][k], 2);
        }
        palette[2][3] = palette[3][3] = 255;
    } else {
        for (int k = 0; k < 3; ++k) palette[2][k] = Blend(palette[0][k], 1, palette[1][k], 1);
        palette[2][3] = 255;
        palette[3] = {0, 0, 0, 0};
    }
    const std::uint32_t indices = Read32(p + 4);
    for (int i = 0; i < 16; ++i) block[i] = palette[(indices >> (2 * i)) & 3];
}

// DXT3: sixteen 4-bit alpha values, low nibble first.
void DecodeExplicitAlpha(const std::uint8_t* p, Block& block) {
    for (int i = 0; i < 16; ++i) {
        const std::uint32_t nibble = (i & 1) ? p[i / 2] >> 4 : p[i / 2] & 15u;
        block[i][3] = static_cast<std::uint8_t>(nibble * 17);
    }
}

// DXT5: two alpha endpoints and sixteen 3-bit indices. a0 > a1 interpolates six values between them; otherwise
// four values, then 0 and 255.
void DecodeInterpolatedAlpha(const std::uint8_t* p, Block& block) {
    const std::uint32_t a0 = p[0], a1 = p[1];
    std::array<std::uint8_t, 8> values{static_cast<std::uint8_t>(a0), static_cast<std::uint8_t>(a1)};
    if (a0 > a1) {
        for (std::uint32_t i = 1; i <= 6; ++i) values[i + 1] = Blend(a0, 7 - i, a1, i);
    } else {
        for (std::uint32_t i = 1; i <= 4; ++i) values[i + 1] = Blend(a0, 5 - i, a1, i);
        values[6] = 0;
        values[7] = 255;
    }
    std::uint64_t bits = 0;
    for (int k = 0; k < 6; ++k) bits |= std::uint64_t{p[2 + k]} << (8 * k);
    for (int i = 0; i < 16; ++i) block[i][3] = values[(bits >> (3 * i)) & 7];
}

void DecodeBlocks(const std::uint8_t* src, Codec codec, Image& image) {
    const std::uint32_t blocksWide = (image.width + 3) / 4, blocksHigh = (image.height + 3) / 4;
    Block block{};
    for (std::uint32_t by = 0; by < blocksHigh; ++by) {
        for (std::uint32_t bx = 0; bx < blocksWide; ++bx) {
            switch (codec) {
            case Codec::Dxt1:
                DecodeColourBlock(src, true, block);
                src += 8;
                break;
            case Codec::Dxt3:
                DecodeColourBlock(src + 8, false, block);
                DecodeExplicitAlpha(src, block);
                src += 16;
                break;
            case Codec::Dxt5:
                DecodeColourBlock(src + 8, false, block);
                DecodeInterpolatedAlpha(src, block);
                src += 16;
                break;
            case Codec::Masks:
                return;
            }
            for (std::uint32_t y = 0; y < 4 && by * 4 + y < image.height; ++y) {
                for (std::uint32_t x = 0; x < 4 && bx * 4 + x < image.width; ++x) {
                    const std::size_t at = (std::size_t{by * 4 + y} * image.width + (bx * 4 + x)) * 4;
                    const auto& texel = block[y * 4 + x];
                    for (int k = 0; k < 4; ++k) image.rgba[at + k] = texel[k];
                }
            }
        }
    }
}

// Reads the pixel format (and the DX10 header after it) into `format`; `dataOffset` becomes where level 0 starts.
bool ReadFormat(const std::uint8_t* data, std::size_t size, Format& format, std::size_t& dataOffset,
                std::string& error) {
    const std::uint8_t* pf = data + 76;
    const std::uint32_t flags = Read32(pf + 4);
    const std::uint32_t fourCC = Read32(pf + 8);
    dataOffset = kDataOffset;
    if (flags & kPfFourCC) {
        switch (fourCC) {
        case FourCC('D', 'X', 'T', '1'): format = Format{Codec::Dxt1, {}}; return true;
        // DXT2 and DXT4 hold premultiplied colour; the blocks decode like DXT3 and DXT5.
        case FourCC('D', 'X', 'T', '2'):
        case FourCC('D', 'X', 'T', '3'): format = Format{Codec::Dxt3, {}}; return true;
        case FourCC('D', 'X', 'T', '4'):
        case FourCC('D', 'X', 'T', '5'): format = Format{Codec::Dxt5, {}}; return true;
        case FourCC('D', 'X', '1', '0'): {
            if (size - kDataOffset < kDx10HeaderBytes) {
                error = "DDS: the DX10 header is truncated.";
                return false;
            }
            const std::uint8_t* dx10 = data + kDataOffset;
            const std::uint32_t dxgi = Read32(dx10), dimension = Read32(dx10 + 4), arraySize = Read32(dx10 + 12);
            if (!MatchDxgiFormat(dxgi, format)) {
                error = "DDS: unsupported DXGI format " + std::to_string(dxgi) + ".";
                return false;
            }
            if (dimension < 2 || dimension > 4) { // 1D, 2D or 3D texture
                error = "DDS: unsupported DX10 resource dimension " + std::to_string(dimension) + ".";
                return false;
            }
            if (arraySize == 0) {
                error = "DDS: the DX10 array size is zero.";
                return false;
            }
            dataOffset = kDataOffset + kDx10HeaderBytes;
            return true;
        }
        default:
            if (MatchD3DFormatNumber(fourCC, format)) return true;
            error = "DDS: unsupported FourCC " + DescribeFourCC(fourCC) + ".";
            return false;
        }
    }
    const std::uint32_t bits = Read32(pf + 12);
    if (MatchMasks(flags, bits, Read32(pf + 16), Read32(pf + 20), Read32(pf + 24), Read32(pf + 28), format.layout)) {
        format.codec = Codec::Masks;
        return true;
    }
    char text[160];
    std::snprintf(text, sizeof text,
                  "DDS: unsupported pixel format (flags 0x%X, %u bits, masks 0x%X 0x%X 0x%X 0x%X).", flags, bits,
                  Read32(pf + 16), Read32(pf + 20), Read32(pf + 24), Read32(pf + 28));
    error = text;
    return false;
}

} // namespace

bool CheckImageSize(std::string_view kind, std::uint64_t width, std::uint64_t height, std::string& error) {
    const std::string size = std::to_string(width) + "x" + std::to_string(height);
    if (width == 0 || height == 0) {
        error = std::string(kind) + ": the image is empty (" + size + ").";
        return false;
    }
    if (width > kMaxImageSide || height > kMaxImageSide) {
        error = std::string(kind) + ": " + size + " exceeds the limit of " + std::to_string(kMaxImageSide) +
                " texels per side.";
        return false;
    }
    if (width * height > kMaxImageTexels) {
        error = std::string(kind) + ": " + size + " exceeds the limit of " + std::to_string(kMaxImageTexels) +
                " texels.";
        return false;
    }
    return true;
}

bool DecodeDDS(const std::uint8_t* data, std::size_t size, Image& image, std::string& error) {
    if (size < kMagicBytes || Read32(data) != FourCC('D', 'D', 'S', ' ')) {
        error = "DDS: the file does not start with \"DDS \".";
        return false;
    }
    if (size < kDataOffset) {
        error = "DDS: the header is truncated (" + std::to_string(size) + " of 128 bytes).";
        return false;
    }
    if (const std::uint32_t headerSize = Read32(data + 4); headerSize != kHeaderSize) {
        error = "DDS: the header size is " + std::to_string(headerSize) + ", not 124.";
        return false;
    }
    if (const std::uint32_t pfSize = Read32(data + 76); pfSize != kPixelFormatSize) {
        error = "DDS: the pixel format size is " + std::to_string(pfSize) + ", not 32.";
        return false;
    }
    const std::uint32_t height = Read32(data + 12), width = Read32(data + 16);
    if (!CheckImageSize("DDS", width, height, error)) return false;

    Format format;
    std::size_t dataOffset = 0;
    if (!ReadFormat(data, size, format, dataOffset, error)) return false;

    std::uint64_t needed = 0;
    if (format.codec == Codec::Masks) {
        needed = std::uint64_t{width} * height * format.layout.bytes;
    } else {
        const std::uint64_t blocks = std::uint64_t{(width + 3) / 4} * ((height + 3) / 4);
        needed = blocks * (format.codec == Codec::Dxt1 ? 8 : 16);
    }
    const std::uint64_t present = size - dataOffset;
    if (present < needed) {
        error = "DDS: the pixel data is truncated (" + std::to_string(present) + " of " + std::to_string(needed) +
                " bytes).";
        return false;
    }

    Image decoded;
    decoded.width = width;
    decoded.height = height;
    decoded.rgba.resize(std::size_t{width} * height * 4);
    if (format.codec == Codec::Masks) {
        DecodeMasks(data + dataOffset, format.layout, decoded);
    } else {
        DecodeBlocks(data + dataOffset, format.codec, decoded);
    }
    image = std::move(decoded);
    return true;
}
