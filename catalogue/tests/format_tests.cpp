// The XLI format's pieces: type words, decoding, 8-bit strings, numbers, checksums.
#include "catalogue.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

namespace {

std::string Decode(const std::string& bytes) {
    return DecodeXliText(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
}

const char kFffd[] = "\xEF\xBF\xBD";

} // namespace

TEST(VekTypes, ClassifiesBySubstringInTableOrder) {
    struct Row {
        const char* text;
        VekClass cls;
    } rows[] = {
        {"ENGINE_TYPE", VekClass::Vehicle},    {"XENGINE_TYPE2", VekClass::Vehicle},
        {"PWAGON_TYPE", VekClass::Vehicle},    {"xHOUSE_TYPEx", VekClass::Object},
        {"ENVIR_TYPE", VekClass::Object},      {"SIGN_TYPE_ENGINE_TYPE", VekClass::Vehicle},
        {"engine_type", VekClass::None},       {"ENGINE-TYPE", VekClass::None},
        {"_TYPE", VekClass::None},             {"SCREENOBJ_TYPE", VekClass::Object},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.text);
        EXPECT_EQ(GetVekClass(r.text), r.cls);
    }
    EXPECT_TRUE(ContainsVekWord("a HOUSE_TYPE and ENGINE_TYPE", true));
    EXPECT_TRUE(ContainsVekWord("a HOUSE_TYPE and ENGINE_TYPE", false));
}

TEST(Decoding, ByteOrderMarksSelectTheEncoding) {
    const std::string expected = "12 K\xC3\xB6ln \xE2\x82\xAC\xF0\x9F\x9A\x82";
    const std::u32string cps = U"12 K\u00F6ln \u20AC\U0001F682";
    auto utf16 = [&](bool be) {
        std::string out = be ? "\xFE\xFF" : "\xFF\xFE";
        auto unit = [&](char16_t u) {
            out += static_cast<char>(be ? u >> 8 : u & 0xFF);
            out += static_cast<char>(be ? u & 0xFF : u >> 8);
        };
        for (char32_t c : cps) {
            if (c >= 0x10000) {
                unit(static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10)));
                unit(static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF)));
            } else {
                unit(static_cast<char16_t>(c));
            }
        }
        return out;
    };
    auto utf32 = [&](bool be) {
        std::string out = be ? std::string("\0\0\xFE\xFF", 4) : std::string("\xFF\xFE\0\0", 4);
        for (char32_t c : cps) {
            for (int k = 0; k < 4; ++k) {
                const int shift = be ? 24 - 8 * k : 8 * k;
                out += static_cast<char>((c >> shift) & 0xFF);
            }
        }
        return out;
    };
    const std::string forms[] = {expected, "\xEF\xBB\xBF" + expected, utf16(false), utf16(true), utf32(false),
                                 utf32(true)};
    for (const std::string& f : forms) EXPECT_EQ(Decode(f), expected);
}

TEST(Decoding, InvalidBytesBecomeReplacementCharacters) {
    EXPECT_EQ(Decode("K\xF6ln"), std::string("K") + kFffd + "ln");
    EXPECT_EQ(Decode("a\xC3"), std::string("a") + kFffd);         // cut at the end
    EXPECT_EQ(Decode("\xED\xA0\x80"), std::string(kFffd) + kFffd + kFffd); // an encoded surrogate
    EXPECT_EQ(Decode(std::string("\xFF\xFE" "a\0b", 5)), std::string("a") + kFffd); // odd UTF-16 byte
    EXPECT_EQ(Decode(std::string("\xFF\xFE\x00\xD8x\0", 6)), std::string(kFffd) + "x"); // lone surrogate
}

TEST(SysStringToLPCSTR, KeepsLatin1AndEmptiesWiderText) {
    EXPECT_EQ(SysStringToLPCSTR("K\xC3\xB6ln_Hbf"), "K\xF6ln_Hbf");
    EXPECT_EQ(SysStringToLPCSTR("\xE2\x82\xAC"), "");                 // the Euro sign lies above U+00FF
    EXPECT_EQ(SysStringToLPCSTR(std::string("K") + kFffd + "ln"), ""); // so does the replacement character
    EXPECT_EQ(SysStringToLPCSTR(std::string("ab\0cd", 5)), "ab");      // a zero ends the 8-bit string
}

TEST(Numbers, IntegersAreSignAndDigitsWithin32Bits) {
    struct Row {
        const char* token;
        bool ok;
        std::int32_t value;
    } rows[] = {
        {"0", true, 0},           {"4711", true, 4711},           {"+12", true, 12},
        {"-12", true, -12},       {"2147483647", true, 2147483647}, {"-2147483648", true, INT32_MIN},
        {"2147483648", false, 0}, {"-2147483649", false, 0},      {"", false, 0},
        {"-", false, 0},          {"1.0", false, 0},              {"1,000", false, 0},
        {"12a", false, 0},        {"0x10", false, 0},             {"00000000000000000000042", true, 42},
        {"\xD9\xA1", false, 0}, // an Arabic-Indic digit is no decimal digit here
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.token);
        std::int32_t v = -1;
        EXPECT_EQ(ParseXliInteger(r.token, v), r.ok);
        if (r.ok) {
            EXPECT_EQ(v, r.value);
        }
    }
}

TEST(Numbers, DecimalsTakePointOrCommaWhateverTheLocale) {
    struct Row {
        const char* token;
        bool ok;
        float value;
    } rows[] = {
        {"1.5", true, 1.5f},    {"1,5", true, 1.5f},      {".5", true, 0.5f},     {"5.", true, 5.0f},
        {"15e-1", true, 1.5f},  {"-2,25", true, -2.25f},  {"1E3", true, 1000.0f}, {"+0,5", true, 0.5f},
        {"0", true, 0.0f},      {"1e-50", true, 0.0f},    {"1e-45", true, 1e-45f}, {"3.4028235e38", true, 3.4028235e38f},
        {"1.234,5", false, 0},  {"1,2,3", false, 0},      {".", false, 0},        {"1e", false, 0},
        {"e5", false, 0},       {"inf", false, 0},        {"nan", false, 0},      {"0x1p3", false, 0},
        {"1e39", false, 0},     {"-3.5e38", false, 0},    {"", false, 0},         {"1.5f", false, 0},
        {"1e+", false, 0},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.token);
        float v = -1;
        EXPECT_EQ(ParseXliDecimal(r.token, v), r.ok);
        if (r.ok) {
            EXPECT_EQ(v, r.value);
        }
    }
}

TEST(Numbers, DecimalsAreWrittenWithSevenSignificantDigits) {
    struct Row {
        float value;
        const char* text;
    } rows[] = {
        {1.5f, "1.5"},           {2.0f, "2"},          {0.25f, "0.25"},       {0.0001f, "0.0001"},
        {0.00001f, "1E-05"},     {1234567.0f, "1234567"}, {12345678.0f, "1.234568E+07"}, {0.0f, "0"},
        {-2.25f, "-2.25"},       {1.0f / 3.0f, "0.3333333"}, {9999999.0f, "9999999"}, {99999999.0f, "1E+08"},
        {0.1f, "0.1"},           {1e-30f, "1E-30"},    {3.4028235e38f, "3.402823E+38"}, {-0.00012345678f, "-0.0001234568"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.text);
        EXPECT_EQ(FormatXliDecimal(r.value), r.text);
    }
    // What is written reads back to the value written.
    for (float v : {0.0001f, 0.00001f, 1.5f, 2.0f, 12345678.0f}) {
        float back = 0;
        ASSERT_TRUE(ParseXliDecimal(FormatXliDecimal(v), back));
        EXPECT_EQ(FormatXliDecimal(back), FormatXliDecimal(v));
    }
}

TEST(Checksums, MatchTheGamesArithmetic) {
    EXPECT_EQ(CalcAsciiSum(""), 0);
    EXPECT_EQ(CalcAsciiSum("abc"), 294);
    EXPECT_EQ(CalcAsciiSum("\xFC"), -4);

    struct Row {
        std::int32_t n, model, xli;
    } rows[] = {
        {-5, 0, 578972}, {0, 0, 578972}, {1, 2, 579731}, {2, 3, 580492}, {3, 6, 581255}, {4, 11, 582020},
        {294, 85851, 888260}, {295, 86438, 889607},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.n);
        EXPECT_EQ(CalcModelChecksum(r.n), r.model);
        EXPECT_EQ(CalcXLIChecksum(r.n), r.xli);
    }
    // The closed forms agree with the loops of the game, wrap-around included.
    for (std::int32_t n : {5, 17, 1000, 65535, 70000, 123457, 2000000}) {
        std::uint32_t a = 0, r = 0;
        for (std::int32_t i = 0; i < n; ++i) {
            a += 2u * static_cast<std::uint32_t>(i);
            r = a - static_cast<std::uint32_t>(i) + 2u;
        }
        EXPECT_EQ(CalcModelChecksum(n), static_cast<std::int32_t>(r)) << n;
        std::uint32_t x = 759, s1 = 0, s2 = 0;
        std::int32_t i = 0;
        for (; i < n - 1; i += 2) {
            s1 += x;
            s2 += x + 2;
            x += 4;
        }
        const std::uint32_t c = i < n ? x + 578972u : 578972u;
        EXPECT_EQ(CalcXLIChecksum(n), static_cast<std::int32_t>(s1 + s2 + c)) << n;
    }
}

TEST(Checksums, NameChecksumLooksAtTheStemOnly) {
    struct Row {
        const char* path;
        std::int32_t sum;
    } rows[] = {
        {"abc.xli", 888260},           {"abc", 888260},          {"C:\\Games\\Vek\\abc.xli", 888260},
        {"/home/u/vek/abc.xli", 888260}, {"D:abc.xli", 888260},   {"base_objects.xli", 3095492},
        {"base_trains.xli", 2813095},  {"base2.xli", 1140931},   {"base2", 1140931},
        {"old.models.xli", CalcXLIChecksum(CalcAsciiSum("old.models"))},
        {"abc.", 888260},              {"", 578972},             {"\x80uro.xli", 578972}, // the Euro sign: no 8-bit name
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.path);
        EXPECT_EQ(CalcXLIChecksumFromPath(r.path), r.sum);
    }
    EXPECT_EQ(CalcXLIChecksumFromPath("ab.xli"), CalcXLIChecksumFromPath("ba.xli"));
}

TEST(Checksums, LastDigitsKeepTheSign) {
    struct Row {
        std::int32_t value, digits;
        double result;
    } rows[] = {
        {123456, 4, 3456.0}, {42, 4, 42.0},   {-123456, 4, -3456.0}, {-1, 4, -1.0},  {7, 4, 7.0},
        {10000, 4, 0.0},     {123, 0, 0.0},   {123, -3, 0.0},        {INT32_MIN, 4, -3648.0},
        {INT32_MAX, 12, 2147483647.0}, {7, 400, 7.0},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.value);
        EXPECT_EQ(GetLastDigits(r.value, r.digits), r.result);
    }
}
