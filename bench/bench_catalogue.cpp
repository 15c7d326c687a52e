// Loading a large game directory: 200 XLI files with 100,000 models in all, against `wc -w` over the same files.
#include "catalogue.h"
#include "sys.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

constexpr int kFiles = 200;
constexpr int kModelsPerFile = 500;

// Writes the directory once per process, in the layout of the program's own writer.
const std::string& GameDirectory() {
    static const std::string dir = [] {
        const std::string path = (std::filesystem::temp_directory_path() / "vekvoxa-bench-game").string() + "/";
        std::filesystem::remove_all(path);
        std::filesystem::create_directories(path);
        std::int32_t id = 1;
        for (int f = 0; f < kFiles; ++f) {
            xlimodels r;
            r.xliFile = "bench_" + std::to_string(f) + ".xli";
            r.Header[0] = CalcXLIChecksumFromPath(r.xliFile);
            r.Header[1] = kModelsPerFile;
            for (int k = 0; k < kModelsPerFile; ++k, ++id) {
                xlimodel m;
                m.isObject = k % 3 != 0;
                m.VekType = m.isObject ? "HOUSE_TYPE" : "ENGINE_TYPE";
                m.ID = id;
                m.XFile = "model_" + std::to_string(id) + ".x";
                m.Scale = 0.5f + static_cast<float>(k % 7) * 0.125f;
                m.DispName = "Model_Number_" + std::to_string(id);
                if (m.isObject) {
                    m.TexturePath1 = "scenes\\textures\\tex_" + std::to_string(id) + ".bmp";
                    m.TexturePath2 = "scenes\\textures\\roof_" + std::to_string(id) + ".bmp";
                    m.RGBValue1 = "200";
                    m.RGBValue2 = "100";
                } else {
                    m.RefModel = "Ref_" + std::to_string(id);
                    m.MaxSpeed = 120;
                    m.MaxWagons = 8;
                }
                m.Checksum = 1000000 + id;
                r.Models.push_back(std::move(m));
            }
            r.NumModels = kModelsPerFile;
            if (!WriteFileAtomic(path + r.xliFile, FormatXliFile(r), false).empty()) std::abort();
        }
        return path;
    }();
    return dir;
}

void BM_LoadCatalogue(benchmark::State& state) {
    const std::string& dir = GameDirectory();
    const std::string cwd = GetCurrentDir();
    std::int32_t models = 0;
    for (auto _ : state) {
        std::int32_t numObjects = 0;
        Catalogue c = IniXLIModelsStruct(dir, numObjects);
        benchmark::DoNotOptimize(c.data());
        models = numObjects;
    }
    SetCurrentDir(cwd);
    state.counters["models"] = models;
}
BENCHMARK(BM_LoadCatalogue)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_WcWords(benchmark::State& state) {
    const std::string& dir = GameDirectory();
    const std::string cmd = "wc -w " + dir + "*.xli > /dev/null";
    for (auto _ : state) {
        if (std::system(cmd.c_str()) != 0) state.SkipWithError("wc failed");
    }
}
BENCHMARK(BM_WcWords)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
