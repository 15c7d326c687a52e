// Decoding 1024x1024 DDS textures from memory, in the block and uncompressed formats that game textures use.
// The inputs are generated at start from a fixed pseudo-random sequence.
#include "image.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>
#include <vector>

namespace {

constexpr std::uint32_t kSide = 1024;

std::vector<std::uint8_t> DdsHeader(std::uint32_t flags, std::uint32_t fourCC, std::uint32_t bits,
                                    std::uint32_t amask) {
    std::vector<std::uint8_t> b(128, 0);
    auto put = [&b](std::size_t at, std::uint32_t v) {
        for (int k = 0; k < 4; ++k) b[at + k] = static_cast<std::uint8_t>(v >> (8 * k));
    };
    b[0] = 'D', b[1] = 'D', b[2] = 'S', b[3] = ' ';
    put(4, 124), put(8, 0x1007), put(12, kSide), put(16, kSide), put(76, 32), put(80, flags), put(84, fourCC);
    put(88, bits), put(92, 0xff0000), put(96, 0xff00), put(100, 0xff), put(104, amask), put(108, 0x1000);
    return b;
}

std::vector<std::uint8_t> WithNoise(std::vector<std::uint8_t> header, std::size_t bytes) {
    std::uint32_t state = 12345;
    for (std::size_t i = 0; i < bytes; ++i) {
        state = state * 1664525u + 1013904223u;
        header.push_back(static_cast<std::uint8_t>(state >> 24));
    }
    return header;
}

void Decode(benchmark::State& state, const std::vector<std::uint8_t>& file) {
    for (auto _ : state) {
        Image image;
        std::string error;
        if (!DecodeImage(file.data(), file.size(), image, error)) state.SkipWithError(error.c_str());
        benchmark::DoNotOptimize(image.rgba.data());
    }
    state.SetItemsProcessed(state.iterations() * kSide * kSide);
}

constexpr std::uint32_t FourCC(char a, char b, char c, char d) {
    return std::uint32_t(std::uint8_t(a)) | std::uint32_t(std::uint8_t(b)) << 8 | std::uint32_t(std::uint8_t(c)) << 16 |
           std::uint32_t(std::uint8_t(d)) << 24;
}

void BM_DecodeDxt1(benchmark::State& state) {
    static const auto file = WithNoise(DdsHeader(0x4, FourCC('D', 'X', 'T', '1'), 0, 0), kSide * kSide / 2);
    Decode(state, file);
}
void BM_DecodeDxt5(benchmark::State& state) {
    static const auto file = WithNoise(DdsHeader(0x4, FourCC('D', 'X', 'T', '5'), 0, 0), kSide * kSide);
    Decode(state, file);
}
void BM_DecodeA8R8G8B8(benchmark::State& state) {
    static const auto file = WithNoise(DdsHeader(0x41, 0, 32, 0xff000000), kSide * kSide * 4);
    Decode(state, file);
}
void BM_DecodeR8G8B8(benchmark::State& state) {
    static const auto file = WithNoise(DdsHeader(0x40, 0, 24, 0), kSide * kSide * 3);
    Decode(state, file);
}

} // namespace

BENCHMARK(BM_DecodeDxt1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeDxt5)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeA8R8G8B8)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeR8G8B8)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
