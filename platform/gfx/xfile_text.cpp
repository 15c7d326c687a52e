// The text form of .x files: white space, comments, separators, numbers, strings, names, GUIDs and references.
#include "xfile_internal.h"

#include <cfloat>
#include <charconv>
#include <cmath>
#include <limits>

namespace xfile_detail {
namespace {

enum : std::uint8_t { kSpace = 1, kName = 2 };

constexpr std::array<std::uint8_t, 256> MakeClasses() {
    std::array<std::uint8_t, 256> c{};
    for (unsigned char ch : {' ', '\t', '\n', '\r', '\f', '\v', ';', ','})
        c[ch] = kSpace;
    for (int ch = 'a'; ch <= 'z'; ++ch)
        c[static_cast<std::size_t>(ch)] = kName;
    for (int ch = 'A'; ch <= 'Z'; ++ch)
        c[static_cast<std::size_t>(ch)] = kName;
    for (int ch = '0'; ch <= '9'; ++ch)
        c[static_cast<std::size_t>(ch)] = kName;
    c['_'] = kName;
    c['-'] = kName;
    return c;
}
constexpr std::array<std::uint8_t, 256> kClasses = MakeClasses();

} // namespace

XFILE_INLINE bool ParseFloatFast(const std::uint8_t*& p, const std::uint8_t* end, float& out);

namespace {

int HexValue(std::uint8_t c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// The token at p for a message: its first character, then up to 19 more until a separator, space or brace.
std::string Quote(const std::uint8_t* p, const std::uint8_t* end) {
    std::string s;
    if (p < end)
        s.push_back(static_cast<char>(*p++));
    while (p < end && s.size() < 20 && *p > 0x20 && *p < 0x7f && !std::strchr(";,{}\"", *p))
        s.push_back(static_cast<char>(*p++));
    return s;
}

} // namespace

void TextReader::skipSpaceSlow() {
    while (p_ < end_) {
        const std::uint8_t c = *p_;
        if (kClasses[c] == kSpace) {
            ++p_;
        } else if (c == '#' || (c == '/' && end_ - p_ >= 2 && p_[1] == '/')) {
            const void* nl = std::memchr(p_, '\n', static_cast<std::size_t>(end_ - p_));
            p_ = nl ? static_cast<const std::uint8_t*>(nl) + 1 : end_;
        } else {
            break;
        }
    }
    tokenStart_ = offset();
}

std::uint32_t TextReader::readUIntSlow() {
    if (p_ == end_)
        failHere("unexpected end of file where an integer was expected");
    std::uint64_t value = 0;
    const std::uint8_t* start = p_;
    while (p_ < end_ && *p_ >= '0' && *p_ <= '9') {
        value = value * 10 + static_cast<std::uint64_t>(*p_ - '0');
        if (value > std::numeric_limits<std::uint32_t>::max())
            failHere("the integer " + Quote(start, end_) + " is too large");
        ++p_;
    }
    if (p_ == start || (p_ < end_ && (*p_ == '.' || *p_ == 'e' || *p_ == 'E')))
        failHere("expected an integer, found \"" + Quote(start, end_) + "\"");
    return static_cast<std::uint32_t>(value);
}

// The common case of a decimal number: at most 19 significant digits and a small exponent, computed in double;
// numbers whose float is not certain that way are left to from_chars. Returns false when not handled.
XFILE_INLINE bool ParseFloatFast(const std::uint8_t*& p, const std::uint8_t* end, float& out) {
    static constexpr double kPow10[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                                        1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
    static constexpr double kInversePow10[] = {1e-0,  1e-1,  1e-2,  1e-3,  1e-4,  1e-5,  1e-6,  1e-7,
                                               1e-8,  1e-9,  1e-10, 1e-11, 1e-12, 1e-13, 1e-14, 1e-15,
                                               1e-16, 1e-17, 1e-18, 1e-19, 1e-20, 1e-21, 1e-22};
    const std::uint8_t* q = p;
    const bool negative = q < end && *q == '-';
    if (q < end && (*q == '-' || *q == '+'))
        ++q;
    std::uint64_t mantissa = 0;
    int digits = 0, exponent = 0;
    bool any = false;
    std::uint64_t part;
    int n1, n2 = 0;
    // Up to 7 digits, a point and up to 7 digits, eight bytes at a time.
    if (end - q >= 17 && (n1 = ParseDigits8(q, part)) < 8 &&
        (q[n1] != '.' || (n2 = ParseDigits8(q + n1 + 1, mantissa)) < 8)) {
        static constexpr std::uint64_t kScale[] = {1, 10, 100, 1000, 10000, 100000, 1000000, 10000000};
        mantissa = n1 ? part * kScale[n2] + (n2 ? mantissa : 0) : (n2 ? mantissa : 0);
        any = n1 + n2 > 0;
        exponent = -n2;
        q += n1 + (q[n1] == '.' ? 1 + n2 : 0);
    } else {
        mantissa = 0;
        const std::uint8_t* start = q;
        while (q < end && static_cast<unsigned>(*q - '0') < 10) {
            mantissa = mantissa * 10 + static_cast<unsigned>(*q - '0');
            digits += mantissa != 0;
            ++q;
        }
        any = q != start;
        if (q < end && *q == '.') {
            ++q;
            const std::uint8_t* fraction = q;
            while (q < end && static_cast<unsigned>(*q - '0') < 10) {
                mantissa = mantissa * 10 + static_cast<unsigned>(*q - '0');
                digits += mantissa != 0;
                --exponent;
                ++q;
            }
            any = any || q != fraction;
        }
    }
    if (!any || digits > 19)
        return false;
    if (q < end && (*q == 'e' || *q == 'E')) {
        ++q;
        const bool negExp = q < end && *q == '-';
        if (q < end && (*q == '-' || *q == '+'))
            ++q;
        int e = 0;
        const std::uint8_t* expStart = q;
        while (q < end && static_cast<unsigned>(*q - '0') < 10 && e < 1000) {
            e = e * 10 + (*q - '0');
            ++q;
        }
        if (q == expStart || (q < end && static_cast<unsigned>(*q - '0') < 10))
            return false;
        exponent += negExp ? -e : e;
    }
    if (q < end && (*q == '.' || ((*q | 0x20) >= 'a' && (*q | 0x20) <= 'z')))
        return false; // something from_chars should judge ("1.2.3", "1e", "inf")
    if (mantissa > (std::uint64_t{1} << 53) || exponent < -22 || exponent > 22)
        return false;
    // m × 10^e with one rounding, or m × (nearest double to 10^-e): within 2 units of the last place of the exact
    // value either way. Its rounding to float is the exact value's unless it lies that close to a midpoint.
    double d = static_cast<double>(mantissa);
    d = exponent < 0 ? d * kInversePow10[-exponent] : d * kPow10[exponent];
    std::uint64_t bits;
    std::memcpy(&bits, &d, sizeof bits);
    const std::uint64_t low = bits & 0x1fffffffu; // the 29 bits that rounding to float drops
    if (low >= 0x0ffffffcu && low <= 0x10000004u)
        return false;
    if (d > 3.4028234663852886e38)
        return false;
    out = static_cast<float>(negative ? -d : d);
    p = q;
    return true;
}

float TextReader::readFloat() { return readFloatInline(); }

// Separators, then a number that ParseFloatFast takes and a value end follows; `start` is where it begins.
XFILE_INLINE bool TextReader::FastFloat(const std::uint8_t*& p, const std::uint8_t*& start, float& value) const {
    const std::uint8_t* const end = end_;
    const std::uint8_t* q = p;
    while (q < end && (kClass[*q] & 1))
        ++q;
    start = q;
    if (!ParseFloatFast(q, end, value) || q == end || !(kClass[*q] & 2))
        return false;
    p = q;
    return true;
}

XFILE_INLINE float TextReader::readFloatInline() {
    const std::uint8_t* p = p_;
    const std::uint8_t* start;
    float value = 0;
    if (FastFloat(p, start, value)) {
        tokenStart_ = static_cast<std::size_t>(start - begin_);
        p_ = p;
        return value;
    }
    return readFloatCareful();
}

float TextReader::readFloatCareful() {
    const std::uint8_t* p;
    float value = 0;
    skipSpace();
    if (p_ == end_)
        failHere("unexpected end of file where a number was expected");
    p = p_;
    if (ParseFloatFast(p, end_, value)) {
        p_ = p;
        return value;
    }
    const char* s = reinterpret_cast<const char*>(p_);
    const char* e = reinterpret_cast<const char*>(end_);
    if (*s == '+')
        ++s;
    const auto [ptr, ec] = std::from_chars(s, e, value);
    if (ec == std::errc::invalid_argument || ptr == s)
        failHere("expected a number, found \"" + Quote(p_, end_) + "\"");
    if (ec == std::errc::result_out_of_range) {
        // Too large or too small for a float: infinity or zero with the written sign.
        bool tiny = false;
        for (const char* q = s; q + 1 < ptr; ++q)
            if ((*q == 'e' || *q == 'E') && q[1] == '-')
                tiny = true;
        value = tiny ? 0.0f : std::numeric_limits<float>::infinity();
        if (*s == '-')
            value = -value;
    }
    p_ = reinterpret_cast<const std::uint8_t*>(ptr);
    return value;
}

void TextReader::readFloats(float* out, std::size_t count) {
    const std::uint8_t* p = p_;
    const std::uint8_t* start = p;
    for (std::size_t i = 0; i < count; ++i)
        if (!FastFloat(p, start, out[i])) {
            p_ = p;
            out[i] = readFloatCareful();
            p = p_;
            start = begin_ + tokenStart_;
        }
    tokenStart_ = static_cast<std::size_t>(start - begin_);
    p_ = p;
}

void TextReader::readFloatGroups(std::uint8_t* out, std::size_t groups, std::size_t width, std::size_t stride) {
    // The position stays in a local: the byte stores to `out` could alias the members.
    const std::uint8_t* p = p_;
    const std::uint8_t* start = p;
    for (std::size_t g = 0; g < groups; ++g, out += stride)
        for (std::size_t k = 0; k < width; ++k) {
            float f;
            if (!FastFloat(p, start, f)) {
                p_ = p;
                f = readFloatCareful();
                p = p_;
                start = begin_ + tokenStart_;
            }
            std::memcpy(out + k * sizeof(float), &f, sizeof f); // one float at a time: no wide reads of narrow stores
        }
    tokenStart_ = static_cast<std::size_t>(start - begin_);
    p_ = p;
}

std::string_view TextReader::readString() {
    skipSpace();
    if (p_ == end_ || *p_ != '"')
        failHere(p_ == end_ ? "unexpected end of file where a string was expected" : "expected a string");
    const std::uint8_t* start = p_ + 1;
    const void* close = std::memchr(start, '"', static_cast<std::size_t>(end_ - start));
    if (!close)
        failHere("the string is not closed");
    p_ = static_cast<const std::uint8_t*>(close) + 1;
    return {reinterpret_cast<const char*>(start), static_cast<std::size_t>(p_ - 1 - start)};
}

std::string_view TextReader::readName() {
    const std::uint8_t* start = p_;
    while (p_ < end_ && kClasses[*p_] == kName)
        ++p_;
    return {reinterpret_cast<const char*>(start), static_cast<std::size_t>(p_ - start)};
}

void TextReader::readGuid(Guid& guid) {
    // <xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx>: 32 hex digits, dashes ignored; stored in written order.
    ++p_;
    int digits = 0;
    while (p_ < end_ && *p_ != '>') {
        const int h = HexValue(*p_);
        if (h >= 0) {
            if (digits == 32)
                failHere("the GUID has more than 32 hex digits");
            guid[static_cast<std::size_t>(digits / 2)] =
                static_cast<std::uint8_t>(digits % 2 ? guid[static_cast<std::size_t>(digits / 2)] | h : h << 4);
            ++digits;
        } else if (*p_ != '-' && kClasses[*p_] != kSpace) {
            failHere("the GUID holds a character that is not a hex digit");
        }
        ++p_;
    }
    if (p_ == end_)
        failHere("the GUID is not closed with '>'");
    if (digits != 32)
        failHere("the GUID has " + std::to_string(digits) + " hex digits instead of 32");
    ++p_;
}

void TextReader::readNameAndGuid(ItemHeader& header) {
    if (p_ < end_ && kClasses[*p_] == kName) {
        header.name = readName();
        skipSpace();
    }
    if (p_ < end_ && *p_ == '<') {
        readGuid(header.guid);
        header.hasGuid = true;
        skipSpace();
    }
}

Item TextReader::nextItem(ItemHeader& header) {
    for (;;) {
        skipSpace();
        header = ItemHeader{};
        header.offset = tokenStart_;
        if (p_ == end_)
            return Item::End;
        const std::uint8_t c = *p_;
        if (c == '}') {
            ++p_;
            return Item::Close;
        }
        if (c == '{') {
            ++p_;
            skipSpace();
            readNameAndGuid(header);
            if (p_ == end_ || *p_ != '}')
                failHere("expected '}' to close the reference");
            if (header.name.empty() && !header.hasGuid)
                failHere("the reference names no object");
            ++p_;
            return Item::Reference;
        }
        if (kClasses[c] != kName || (c >= '0' && c <= '9') || c == '-')
            failHere("expected an object or '}', found \"" + Quote(p_, end_) + "\"");
        header.type = readName();
        skipSpace();
        if (EqualsNoCase(header.type, "template")) {
            if (p_ < end_ && kClasses[*p_] == kName)
                readName();
            skipSpace();
            if (p_ == end_ || *p_ != '{')
                failHere("expected '{' after the template name");
            ++p_;
            skipBody();
            continue;
        }
        readNameAndGuid(header);
        if (p_ == end_ || *p_ != '{')
            failHere("expected '{' to open the " + std::string(header.type) + " object");
        ++p_;
        return Item::Object;
    }
}

void TextReader::skipBody() {
    std::size_t depth = 1;
    while (p_ < end_) {
        const std::uint8_t c = *p_;
        if (c == '{') {
            ++depth;
            ++p_;
        } else if (c == '}') {
            ++p_;
            if (--depth == 0)
                return;
        } else if (c == '"') {
            const void* close = std::memchr(p_ + 1, '"', static_cast<std::size_t>(end_ - p_ - 1));
            if (!close) {
                tokenStart_ = offset();
                failHere("the string is not closed");
            }
            p_ = static_cast<const std::uint8_t*>(close) + 1;
        } else if (c == '#' || (c == '/' && end_ - p_ >= 2 && p_[1] == '/')) {
            const void* nl = std::memchr(p_, '\n', static_cast<std::size_t>(end_ - p_));
            p_ = nl ? static_cast<const std::uint8_t*>(nl) + 1 : end_;
        } else {
            ++p_;
        }
    }
    tokenStart_ = offset();
    failHere("unexpected end of file inside an object");
}

} // namespace xfile_detail
