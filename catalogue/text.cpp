// The text layer of the XLI format: decoding with byte-order marks, the token rule, 8-bit strings, numbers.
#include "catalogue.h"

#include "sys.h"

#include <charconv>
#include <clocale>
#include <cmath>
#include <cstdlib>
#include <locale.h>

namespace {

constexpr char32_t kReplacement = 0xFFFD;


std::string DecodeUtf8(const std::uint8_t* p, const std::uint8_t* end) {
    std::string out;
    out.reserve(static_cast<std::size_t>(end - p));
    while (p < end) {
        // Runs of ASCII are copied as they stand.
        const std::uint8_t* run = p;
        while (run < end && *run < 0x80) ++run;
        out.append(reinterpret_cast<const char*>(p), static_cast<std::size_t>(run - p));
        p = run;
        if (p == end) break;
        char32_t cp = 0;
        const std::size_t taken = DecodeUtf8Char(p, end, cp);
        if (cp == kReplacement) AppendUtf8(out, kReplacement);
        else out.append(reinterpret_cast<const char*>(p), taken);
        p += taken;
    }
    return out;
}

std::string DecodeUtf16(const std::uint8_t* p, const std::uint8_t* end, bool bigEndian) {
    std::string out;
    out.reserve(static_cast<std::size_t>(end - p) / 2);
    auto unit = [&](const std::uint8_t* q) {
        return static_cast<char32_t>(bigEndian ? (q[0] << 8 | q[1]) : (q[1] << 8 | q[0]));
    };
    while (end - p >= 2) {
        const char32_t u = unit(p);
        p += 2;
        if (u >= 0xD800 && u <= 0xDBFF) {
            if (end - p >= 2) {
                const char32_t u2 = unit(p);
                if (u2 >= 0xDC00 && u2 <= 0xDFFF) {
                    p += 2;
                    AppendUtf8(out, 0x10000 + ((u - 0xD800) << 10) + (u2 - 0xDC00));
                    continue;
                }
            }
            AppendUtf8(out, kReplacement);
        } else if (u >= 0xDC00 && u <= 0xDFFF) {
            AppendUtf8(out, kReplacement);
        } else {
            AppendUtf8(out, u);
        }
    }
    if (p != end) AppendUtf8(out, kReplacement); // an odd byte at the end
    return out;
}

std::string DecodeUtf32(const std::uint8_t* p, const std::uint8_t* end, bool bigEndian) {
    std::string out;
    out.reserve(static_cast<std::size_t>(end - p) / 4);
    while (end - p >= 4) {
        const char32_t u = bigEndian ? (char32_t(p[0]) << 24 | char32_t(p[1]) << 16 | char32_t(p[2]) << 8 | p[3])
                                     : (char32_t(p[3]) << 24 | char32_t(p[2]) << 16 | char32_t(p[1]) << 8 | p[0]);
        p += 4;
        AppendUtf8(out, (u > 0x10FFFF || (u >= 0xD800 && u <= 0xDFFF)) ? kReplacement : u);
    }
    if (p != end) AppendUtf8(out, kReplacement);
    return out;
}

bool IsWhiteSpaceChar(char32_t c) {
    return (c >= 0x09 && c <= 0x0D) || c == 0x20 || c == 0x85 || c == 0xA0 || c == 0x1680 ||
           (c >= 0x2000 && c <= 0x200A) || c == 0x2028 || c == 0x2029 || c == 0x202F || c == 0x205F || c == 0x3000;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

locale_t CLocale() {
    static const locale_t c = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    return c;
}

} // namespace

std::string DecodeXliText(const std::uint8_t* data, std::size_t size) {
    const std::uint8_t* end = data + size;
    if (size >= 4 && data[0] == 0xFF && data[1] == 0xFE && data[2] == 0 && data[3] == 0)
        return DecodeUtf32(data + 4, end, false);
    if (size >= 4 && data[0] == 0 && data[1] == 0 && data[2] == 0xFE && data[3] == 0xFF)
        return DecodeUtf32(data + 4, end, true);
    if (size >= 3 && data[0] == 0xEF && data[1] == 0xBB && data[2] == 0xBF) return DecodeUtf8(data + 3, end);
    if (size >= 2 && data[0] == 0xFF && data[1] == 0xFE) return DecodeUtf16(data + 2, end, false);
    if (size >= 2 && data[0] == 0xFE && data[1] == 0xFF) return DecodeUtf16(data + 2, end, true);
    return DecodeUtf8(data, end);
}

bool IsXliBlankPiece(std::string_view piece) {
    // Most tokens start with a printable ASCII character and are settled at once.
    const auto first = static_cast<unsigned char>(piece.front());
    if (first < 0x80 && first != 0x0B && first != 0x0C) return false;
    const auto* p = reinterpret_cast<const std::uint8_t*>(piece.data());
    const auto* end = p + piece.size();
    while (p < end) {
        char32_t cp = 0;
        p += DecodeUtf8Char(p, end, cp);
        if (!IsWhiteSpaceChar(cp)) return false;
    }
    return true;
}

std::string SysStringToLPCSTR(std::string_view ToConvert) {
    // Plain ASCII without a zero, the usual token, is its own 8-bit string.
    bool plain = true;
    for (char c : ToConvert) plain &= c > 0;
    if (plain) return std::string(ToConvert);
    std::string out;
    out.reserve(ToConvert.size());
    const auto* p = reinterpret_cast<const std::uint8_t*>(ToConvert.data());
    const auto* end = p + ToConvert.size();
    bool ended = false; // the 8-bit string ends at its terminating zero
    while (p < end) {
        char32_t cp = 0;
        p += DecodeUtf8Char(p, end, cp);
        if (cp > 0xFF) return std::string();
        if (cp == 0) ended = true;
        if (!ended) out += static_cast<char>(cp);
    }
    return out;
}

bool ParseXliInteger(std::string_view token, std::int32_t& value) {
    std::size_t i = 0;
    bool negative = false;
    if (i < token.size() && (token[i] == '+' || token[i] == '-')) negative = token[i++] == '-';
    if (i == token.size()) return false;
    std::int64_t v = 0;
    for (; i < token.size(); ++i) {
        if (!IsDigit(token[i])) return false;
        v = v * 10 + (token[i] - '0');
        if (v > 2147483648LL) return false;
    }
    if (negative) v = -v;
    if (v > 2147483647LL) return false;
    value = static_cast<std::int32_t>(v);
    return true;
}

bool ParseXliDecimal(std::string_view token, float& value) {
    // Shape: [sign] digits [sep digits] [(e|E) [sign] digits], a separator being '.' or ',' and at least one
    // digit in the mantissa.
    std::string normal;
    normal.reserve(token.size());
    std::size_t i = 0;
    if (i < token.size() && (token[i] == '+' || token[i] == '-')) normal += token[i++];
    std::size_t mantissaDigits = 0;
    bool separator = false;
    for (; i < token.size(); ++i) {
        const char c = token[i];
        if (IsDigit(c)) {
            ++mantissaDigits;
            normal += c;
        } else if (c == '.' || c == ',') {
            if (separator) return false;
            separator = true;
            normal += '.';
        } else {
            break;
        }
    }
    if (mantissaDigits == 0) return false;
    if (i < token.size()) {
        if (token[i] != 'e' && token[i] != 'E') return false;
        normal += 'e';
        ++i;
        if (i < token.size() && (token[i] == '+' || token[i] == '-')) normal += token[i++];
        std::size_t expDigits = 0;
        for (; i < token.size(); ++i) {
            if (!IsDigit(token[i])) return false;
            normal += token[i];
            ++expDigits;
        }
        if (expDigits == 0) return false;
    }
    char* endPtr = nullptr;
    const float v = strtof_l(normal.c_str(), &endPtr, CLocale());
    if (endPtr != normal.c_str() + normal.size() || std::isinf(v)) return false;
    value = v;
    return true;
}

std::string FormatXliDecimal(float value) {
    if (std::isnan(value)) return "NaN";
    if (std::isinf(value)) return value < 0 ? "-Infinity" : "Infinity";
    if (value == 0.0f) return std::signbit(value) ? "-0" : "0";
    // Seven significant digits: d.dddddde±x, rounded once from the exact value of the float.
    char buf[64];
    const auto res = std::to_chars(buf, buf + sizeof buf, static_cast<double>(value), std::chars_format::scientific, 6);
    std::string_view sci(buf, static_cast<std::size_t>(res.ptr - buf));
    std::string out;
    if (sci.front() == '-') {
        out += '-';
        sci.remove_prefix(1);
    }
    std::string digits;
    digits += sci[0];
    const std::size_t ePos = sci.find('e');
    digits += sci.substr(2, ePos - 2);
    int exponent = 0;
    std::from_chars(sci.data() + ePos + (sci[ePos + 1] == '+' ? 2 : 1), sci.data() + sci.size(), exponent);
    while (digits.size() > 1 && digits.back() == '0') digits.pop_back();

    if (exponent >= -4 && exponent <= 6) {
        if (exponent >= 0) {
            std::string whole = digits.substr(0, std::min<std::size_t>(digits.size(), exponent + 1));
            while (static_cast<int>(whole.size()) < exponent + 1) whole += '0';
            out += whole;
            if (digits.size() > static_cast<std::size_t>(exponent + 1)) out += "." + digits.substr(exponent + 1);
        } else {
            out += "0." + std::string(static_cast<std::size_t>(-exponent - 1), '0') + digits;
        }
        return out;
    }
    out += digits[0];
    if (digits.size() > 1) out += "." + digits.substr(1);
    out += 'E';
    out += exponent < 0 ? '-' : '+';
    const int absExp = exponent < 0 ? -exponent : exponent;
    if (absExp < 10) out += '0';
    out += std::to_string(absExp);
    return out;
}
