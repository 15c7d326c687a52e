// Conversions between the program's 8-bit ANSI strings (Windows-1252) and UTF-8.
#include "sys.h"

namespace {

// Windows-1252 0x80..0x9F. Undefined positions keep their C1 control so that nothing is lost.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D,
    0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A,
    0x0153, 0x009D, 0x017E, 0x0178};

} // namespace

std::size_t DecodeUtf8Char(const std::uint8_t* p, const std::uint8_t* end, char32_t& cp) {
    const std::uint8_t b0 = p[0];
    if (b0 < 0x80) {
        cp = b0;
        return 1;
    }
    std::size_t need;
    char32_t min;
    std::uint8_t lo = 0x80, hi = 0xBF; // range of the second byte
    if (b0 >= 0xC2 && b0 <= 0xDF) { need = 1; cp = b0 & 0x1F; min = 0x80; }
    else if (b0 >= 0xE0 && b0 <= 0xEF) {
        need = 2; cp = b0 & 0x0F; min = 0x800;
        if (b0 == 0xE0) lo = 0xA0;
        if (b0 == 0xED) hi = 0x9F; // no surrogates
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        need = 3; cp = b0 & 0x07; min = 0x10000;
        if (b0 == 0xF0) lo = 0x90;
        if (b0 == 0xF4) hi = 0x8F;
    } else {
        cp = 0xFFFD;
        return 1;
    }
    std::size_t i = 1;
    for (; i <= need; ++i) {
        if (p + i >= end) break;
        const std::uint8_t b = p[i];
        const std::uint8_t l = i == 1 ? lo : 0x80, h = i == 1 ? hi : 0xBF;
        if (b < l || b > h) break;
        cp = (cp << 6) | (b & 0x3F);
    }
    if (i <= need || cp < min) {
        cp = 0xFFFD;
        return i;
    }
    return need + 1;
}

void AppendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

std::string AnsiToUtf8(std::string_view ansi) {
    std::string out;
    out.reserve(ansi.size());
    for (char c : ansi) {
        const auto b = static_cast<unsigned char>(c);
        if (b >= 0x80 && b < 0xA0) AppendUtf8(out, kCp1252High[b - 0x80]);
        else AppendUtf8(out, b);
    }
    return out;
}

bool Utf8ToAnsi(std::string_view utf8, std::string& out) {
    out.clear();
    out.reserve(utf8.size());
    const auto* p = reinterpret_cast<const std::uint8_t*>(utf8.data());
    const auto* end = p + utf8.size();
    while (p < end) {
        char32_t cp = 0;
        const std::size_t taken = DecodeUtf8Char(p, end, cp);
        if (cp == 0xFFFD) return false; // invalid UTF-8, or a character that Windows-1252 lacks anyway
        p += taken;
        if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) {
            out += static_cast<char>(cp);
            continue;
        }
        bool found = false;
        for (int k = 0; k < 32; ++k) {
            if (kCp1252High[k] == cp) {
                out += static_cast<char>(0x80 + k);
                found = true;
                break;
            }
        }
        if (!found) return false;
    }
    return true;
}

std::string Latin1ToUtf8(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    for (char c : bytes) AppendUtf8(out, static_cast<unsigned char>(c));
    return out;
}
