// The name checksum and the entry checksum arithmetic of XLI files. Signed 32-bit arithmetic that wraps: the
// sums are done in unsigned 32 bits, where wrapping is defined, and read back as signed.
#include "catalogue.h"

namespace {

std::int32_t Wrap(std::uint32_t v) { return static_cast<std::int32_t>(v); }

// Windows-1252 bytes 0x80..0x9F that stand for characters above U+00FF (all but 0x81, 0x8D, 0x8F, 0x90, 0x9D).
bool IsWideAnsiByte(unsigned char b) {
    return b >= 0x80 && b <= 0x9F && b != 0x81 && b != 0x8D && b != 0x8F && b != 0x90 && b != 0x9D;
}

} // namespace

std::int32_t CalcAsciiSum(std::string_view asciiStr) {
    std::uint32_t sum = 0;
    for (char c : asciiStr) {
        if (c == '\0') break;
        sum += static_cast<std::uint32_t>(static_cast<std::int32_t>(static_cast<signed char>(c)));
    }
    return Wrap(sum);
}

std::int32_t CalcModelChecksum(std::int32_t sumASCII) {
    // The loop a += 2i, r = a - i + 2 over i < n ends with r = (n - 1)^2 + 2.
    if (sumASCII <= 0) return 0;
    const auto m = static_cast<std::uint32_t>(sumASCII - 1);
    return Wrap(m * m + 2u);
}

std::int32_t CalcXLIChecksum(std::int32_t sumASCII) {
    // floor(n / 2) rounds of the loop: 4K^2 + 1516K + 578972, and 759 + 4K more for odd n.
    if (sumASCII <= 0) return 578972;
    const auto k = static_cast<std::uint32_t>(sumASCII / 2);
    std::uint32_t r = 4u * k * k + 1516u * k + 578972u;
    if (sumASCII % 2 == 1) r += 759u + 4u * k;
    return Wrap(r);
}

std::int32_t CalcXLIChecksumFromPath(std::string_view szPath) {
    const std::size_t cut = szPath.find_last_of("\\/:");
    std::string_view name = cut == std::string_view::npos ? szPath : szPath.substr(cut + 1);
    const std::size_t dot = name.rfind('.');
    if (dot != std::string_view::npos) name = name.substr(0, dot);
    // As an 8-bit string of the name's characters: a character above U+00FF makes the name empty.
    for (char c : name) {
        if (IsWideAnsiByte(static_cast<unsigned char>(c))) return CalcXLIChecksum(0);
    }
    return CalcXLIChecksum(CalcAsciiSum(name));
}

double GetLastDigits(std::int32_t nValue, std::int32_t nDigits) {
    double result = 0.0;
    double power = 1.0;
    std::int32_t v = nValue;
    // Once the digits run out every further term is zero; stopping there also keeps 10^i from overflowing.
    for (std::int32_t i = 0; i < nDigits && v != 0; ++i) {
        const std::int32_t q = v / 10;
        const std::int32_t d = v - 10 * q;
        v = q;
        result += power * d;
        power *= 10.0;
    }
    return result;
}
