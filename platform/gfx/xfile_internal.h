// Internals of the .x reader shared by its source files: limits, the failure type, the two token readers (text and
// binary, with the same interface so that one parser template serves both) and the MSZIP decoder.
#pragma once

#include "xfile.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace xfile_detail {

static_assert(std::endian::native == std::endian::little, "the binary reader assumes a little-endian host");

constexpr std::uint64_t kMaxVertices = std::uint64_t{1} << 26; // per file, after splitting by normals
constexpr std::uint64_t kMaxFaces = std::uint64_t{1} << 26;    // triangles per file, after the fans
constexpr std::uint64_t kMaxInflated = std::uint64_t{1} << 30; // decompressed bytes of a tzip/bzip file
constexpr int kMaxFrameDepth = 64;

// Thrown by the readers and the parser; caught at LoadXFileFromMemory and turned into XLoadError.
struct XFail {
    std::size_t offset;
    std::string reason;
};

[[noreturn]] void Fail(std::size_t offset, std::string reason);

// Decodes a tzip/bzip file (header included) into `out`: the 16 header bytes followed by the inflated data.
// Failures carry byte offsets into the compressed file.
void InflateMsZip(const std::uint8_t* data, std::size_t size, std::vector<std::uint8_t>& out);

using Guid = std::array<std::uint8_t, 16>;

// One step of an object body: a nested object, a reference, the closing brace, or the end of the data.
enum class Item { Object, Reference, Close, End };

struct ItemHeader {
    std::string_view type; // template identifier of an object
    std::string_view name; // object name, or the name a reference points to (may be empty)
    bool hasGuid = false;
    Guid guid{};
    std::size_t offset = 0;
};

bool EqualsNoCase(std::string_view a, std::string_view b);

// For the few small functions of the per-value paths, which the compiler would otherwise leave out of line.
#define XFILE_INLINE [[gnu::always_inline]] inline

// The leading decimal digits of the 8 bytes at p (all 8 must be readable): returns how many there are (0 to 8)
// and, in `value`, the number they make (when there is at least one).
XFILE_INLINE int ParseDigits8(const std::uint8_t* p, std::uint64_t& value) {
    std::uint64_t x;
    std::memcpy(&x, p, 8);
    const std::uint64_t t = x - 0x3030303030303030u; // digit values in the bytes before the first non-digit
    const std::uint64_t nonDigit = (t | (x + 0x4646464646464646u)) & 0x8080808080808080u;
    const int count = nonDigit ? std::countr_zero(nonDigit) / 8 : 8;
    if (count == 0)
        return 0;
    std::uint64_t d = t << (8 * (8 - count)); // leading zero digits in the low bytes
    d = (d * 10 + (d >> 8)) & 0x00ff00ff00ff00ffu;
    d = (d * 100 + (d >> 16)) & 0x0000ffff0000ffffu;
    value = (d * 10000 + (d >> 32)) & 0xffffffffu;
    return count;
}

// Text tokens. Separators (';' and ',') count as white space: real exporters write any run of them.
class TextReader {
  public:
    TextReader(const std::uint8_t* begin, const std::uint8_t* start, const std::uint8_t* end)
        : begin_(begin), p_(start), end_(end) {}

    std::size_t offset() const { return static_cast<std::size_t>(p_ - begin_); }
    std::size_t tokenOffset() const { return tokenStart_; }
    // Upper bound on the number of values of each kind that the bytes left can hold (a value and its separator
    // take at least one byte; the last one may go without).
    std::uint64_t maxInts() const { return static_cast<std::uint64_t>(end_ - p_); }
    std::uint64_t maxFloats() const { return static_cast<std::uint64_t>(end_ - p_); }

    // The hot paths keep the position in a local: a store to p_ could alias the bytes read, which would keep it
    // in memory. Anything unusual (a comment, the end, a long or malformed number) goes the careful way.
    XFILE_INLINE std::uint32_t readUInt() {
        const std::uint8_t* p = p_;
        std::uint32_t v;
        if (FastUInt(p, v)) {
            p_ = p;
            return v;
        }
        return readUIntCareful();
    }
    // Reads `count` integers; stops at the first one that is not below `bound` and returns its position (with
    // tokenOffset() on it), else returns `count`.
    std::size_t readUIntsBelow(std::uint32_t* out, std::size_t count, std::uint32_t bound) {
        const std::uint8_t* p = p_;
        for (std::size_t i = 0; i < count; ++i) {
            const std::uint8_t* start = p;
            if (!FastUInt(p, out[i])) {
                p_ = start;
                out[i] = readUIntCareful();
                p = p_;
            }
            if (out[i] >= bound) {
                p_ = p;
                return i;
            }
        }
        p_ = p;
        return count;
    }
    // Binary files hand out runs of integers straight from the file; text files have none.
    const std::uint8_t* contiguousInts(std::size_t) const { return nullptr; }
    void skipInts(std::size_t) {}
    float readFloat();
    void readFloats(float* out, std::size_t count);
    // Reads `groups` groups of `width` floats to out, out + stride, out + 2 * stride, ... (strides in bytes):
    // members of consecutive vertices.
    void readFloatGroups(std::uint8_t* out, std::size_t groups, std::size_t width, std::size_t stride);
    std::string_view readString();
    Item nextItem(ItemHeader& header);
    void skipBody(); // after an object's '{': through its matching '}'

  private:
    // The optional name and GUID of an object or a reference, with the white space after each.
    void readNameAndGuid(ItemHeader& header);
    // Character classes: 1 separator or white space, 2 ends a value (separators, white space, '}', '#', '/').
    static constexpr std::array<std::uint8_t, 256> kClass = [] {
        std::array<std::uint8_t, 256> c{};
        for (unsigned char ch : {' ', '\t', '\n', '\r', '\f', '\v', ';', ','})
            c[ch] = 1 | 2;
        for (unsigned char ch : {'}', '#', '/'})
            c[ch] = 2;
        return c;
    }();
    // Separators, then a number of at most 7 digits that a value end follows; sets tokenStart_ to the number.
    XFILE_INLINE bool FastUInt(const std::uint8_t*& p, std::uint32_t& value) {
        const std::uint8_t* const end = end_;
        while (p < end && (kClass[*p] & 1))
            ++p;
        if (end - p < 9)
            return false;
        std::uint64_t v;
        const int n = ParseDigits8(p, v); // branch-free for numbers of any length up to 7 digits
        if (n == 0 || n == 8 || !(kClass[p[n]] & 2))
            return false;
        tokenStart_ = static_cast<std::size_t>(p - begin_);
        p += n;
        value = static_cast<std::uint32_t>(v);
        return true;
    }
    XFILE_INLINE void skipSpace() {
        const std::uint8_t* p = p_;
        const std::uint8_t* const end = end_;
        while (p < end && (kClass[*p] & 1))
            ++p;
        p_ = p;
        if (p < end && (*p == '#' || *p == '/'))
            skipSpaceSlow();
        tokenStart_ = static_cast<std::size_t>(p_ - begin_);
    }
    std::uint32_t readUIntCareful() {
        skipSpace();
        return readUIntSlow();
    }
    void skipSpaceSlow();
    std::uint32_t readUIntSlow();
    float readFloatInline();
    float readFloatCareful();
    bool FastFloat(const std::uint8_t*& p, const std::uint8_t*& start, float& value) const;
    [[noreturn]] void failHere(std::string reason) const { Fail(tokenStart_, std::move(reason)); }
    std::string_view readName();
    void readGuid(Guid& guid);

    const std::uint8_t* begin_;
    const std::uint8_t* p_;
    const std::uint8_t* end_;
    std::size_t tokenStart_ = 0;
};

// Binary tokens. Values come in integer and float lists; one list may cover several members, so the reader keeps
// the rest of the current list and hands it out value by value.
class BinaryReader {
  public:
    BinaryReader(const std::uint8_t* begin, const std::uint8_t* start, const std::uint8_t* end, bool doubles)
        : begin_(begin), p_(start), end_(end), doubles_(doubles) {}

    std::size_t offset() const { return static_cast<std::size_t>(p_ - begin_); }
    std::size_t tokenOffset() const { return tokenStart_; }
    std::uint64_t maxInts() const { return listLeft_ + static_cast<std::uint64_t>(end_ - p_) / 4; }
    std::uint64_t maxFloats() const { return listLeft_ + static_cast<std::uint64_t>(end_ - p_) / 4; }

    XFILE_INLINE std::uint32_t readUInt() {
        if (listLeft_ == 0 || list_ != List::Ints)
            return readUIntSlow();
        tokenStart_ = offset();
        --listLeft_;
        std::uint32_t v;
        std::memcpy(&v, p_, 4);
        p_ += 4;
        return v;
    }
    // As TextReader::readUIntsBelow.
    std::size_t readUIntsBelow(std::uint32_t* out, std::size_t count, std::uint32_t bound) {
        std::size_t i = 0;
        while (i < count) {
            if (listLeft_ > 0 && list_ == List::Ints) {
                const std::size_t n = std::min<std::size_t>(count - i, listLeft_);
                std::memcpy(out + i, p_, n * 4);
                for (std::size_t k = 0; k < n; ++k)
                    if (out[i + k] >= bound) {
                        tokenStart_ = offset() + k * 4;
                        p_ += (k + 1) * 4;
                        listLeft_ -= static_cast<std::uint32_t>(k + 1);
                        return i + k;
                    }
                p_ += n * 4;
                listLeft_ -= static_cast<std::uint32_t>(n);
                i += n;
            } else if ((out[i] = readUIntSlow()) >= bound) {
                return i;
            } else {
                ++i;
            }
        }
        return count;
    }
    // The next `count` integers as little-endian bytes when the current list holds them, else nullptr.
    const std::uint8_t* contiguousInts(std::size_t count) const {
        return list_ == List::Ints && listLeft_ >= count ? p_ : nullptr;
    }
    void skipInts(std::size_t count) { // after contiguousInts(count)
        tokenStart_ = offset() + (count - 1) * 4;
        p_ += count * 4;
        listLeft_ -= static_cast<std::uint32_t>(count);
    }
    float readFloat();
    void readFloats(float* out, std::size_t count);
    void readFloatGroups(std::uint8_t* out, std::size_t groups, std::size_t width, std::size_t stride) {
        std::size_t g = 0;
        if (!doubles_ && list_ == List::Floats) {
            const std::size_t whole = std::min<std::size_t>(groups, listLeft_ / width);
            const std::uint8_t* p = p_;
            for (; g < whole; ++g, out += stride, p += width * 4)
                std::memcpy(out, p, width * 4);
            p_ = p;
            listLeft_ -= static_cast<std::uint32_t>(whole * width);
        }
        float group[4];
        for (; g < groups; ++g, out += stride) {
            readFloats(group, width);
            std::memcpy(out, group, width * sizeof(float));
        }
    }
    std::string_view readString();
    Item nextItem(ItemHeader& header);
    void skipBody();

  private:
    enum class List { None, Ints, Floats };
    std::uint32_t readUIntSlow();
    std::uint16_t readToken();
    // The optional name and GUID of an object or a reference; returns the token after them.
    std::uint16_t readNameAndGuid(ItemHeader& header);
    std::uint32_t readU32();
    std::string_view readBytes(std::uint32_t length);
    void skipPayload(std::uint16_t token);
    void startList(std::uint16_t token);
    [[noreturn]] void failHere(std::string reason) const { Fail(tokenStart_, std::move(reason)); }

    const std::uint8_t* begin_;
    const std::uint8_t* p_;
    const std::uint8_t* end_;
    bool doubles_;
    std::size_t tokenStart_ = 0;
    List list_ = List::None;
    std::uint32_t listLeft_ = 0;
};

} // namespace xfile_detail
