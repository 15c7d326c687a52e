// Loading a 1,000,000-triangle .x file, text and binary, with our reader and with Assimp (the same bytes, from
// memory). The files are generated into a temporary directory at start and read back once.
#include "xfile.h"

#include <assimp/Importer.hpp>
#include <assimp/postprocess.h>
#include <assimp/scene.h>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

// A grid of kColumns × kRows quads, each split into two triangles: 1,000,000 triangles, 501,501 vertices, with
// normals, texture coordinates and two materials (left and right half), inside a frame with a transform.
constexpr int kColumns = 1000;
constexpr int kRows = 500;
constexpr int kVertices = (kColumns + 1) * (kRows + 1);
constexpr int kTriangles = kColumns * kRows * 2;

struct Grid {
    std::vector<float> positions, normals, uvs;
    std::vector<std::uint32_t> triangles, materials;
};

Grid MakeGrid() {
    Grid g;
    for (int y = 0; y <= kRows; ++y)
        for (int x = 0; x <= kColumns; ++x) {
            const float h = 0.25f * static_cast<float>((x * 7 + y * 13) % 17) / 17.0f;
            g.positions.insert(g.positions.end(), {static_cast<float>(x) * 0.125f, h, static_cast<float>(y) * 0.125f});
            g.normals.insert(g.normals.end(), {0.0f, 1.0f, 0.0f});
            g.uvs.insert(g.uvs.end(), {static_cast<float>(x) / kColumns, static_cast<float>(y) / kRows});
        }
    for (int y = 0; y < kRows; ++y)
        for (int x = 0; x < kColumns; ++x) {
            const auto v = static_cast<std::uint32_t>(y * (kColumns + 1) + x);
            const std::uint32_t w = v + kColumns + 1;
            g.triangles.insert(g.triangles.end(), {v, w, v + 1, v + 1, w, w + 1});
            const std::uint32_t m = x < kColumns / 2 ? 0 : 1;
            g.materials.insert(g.materials.end(), {m, m});
        }
    return g;
}

struct TextOut {
    std::string s;
    void number(float f) { // six decimals, as exporters write them
        char buf[64];
        const auto r = std::to_chars(buf, buf + sizeof buf, f, std::chars_format::fixed, 6);
        s.append(buf, r.ptr);
    }
    void number(std::uint32_t u) {
        char buf[16];
        const auto r = std::to_chars(buf, buf + sizeof buf, u);
        s.append(buf, r.ptr);
    }
    void floats(const std::vector<float>& v, int per) {
        for (std::size_t i = 0; i < v.size(); ++i) {
            number(v[i]);
            s += (i + 1) % static_cast<std::size_t>(per) ? ";" : (i + 1 == v.size() ? ";;\n" : ";,\n");
        }
    }
    void faces(const std::vector<std::uint32_t>& t) {
        for (std::size_t i = 0; i < t.size(); i += 3) {
            s += "3;";
            number(t[i]);
            s += ',';
            number(t[i + 1]);
            s += ',';
            number(t[i + 2]);
            s += i + 3 == t.size() ? ";;\n" : ";,\n";
        }
    }
};

const char* const kMaterialText[2] = {
    "Material { 0.8;0.8;0.8;1.0;; 10.0; 1.0;1.0;1.0;; 0.0;0.0;0.0;; TextureFilename { \"grass.bmp\"; } }\n",
    "Material { 0.5;0.4;0.3;1.0;; 5.0; 0.2;0.2;0.2;; 0.0;0.0;0.0;; }\n"};

std::string MakeText(const Grid& g) {
    TextOut t;
    t.s.reserve(64u << 20);
    t.s += "xof 0303txt 0032\nFrame Ground {\n FrameTransformMatrix { 1.0,0.0,0.0,0.0, 0.0,1.0,0.0,0.0, "
           "0.0,0.0,1.0,0.0, 0.0,0.0,0.0,1.0;; }\n Mesh Grid {\n";
    t.number(static_cast<std::uint32_t>(kVertices));
    t.s += ";\n";
    t.floats(g.positions, 3);
    t.number(static_cast<std::uint32_t>(kTriangles));
    t.s += ";\n";
    t.faces(g.triangles);
    t.s += "MeshNormals {\n";
    t.number(static_cast<std::uint32_t>(kVertices));
    t.s += ";\n";
    t.floats(g.normals, 3);
    t.number(static_cast<std::uint32_t>(kTriangles));
    t.s += ";\n";
    t.faces(g.triangles);
    t.s += "}\nMeshTextureCoords {\n";
    t.number(static_cast<std::uint32_t>(kVertices));
    t.s += ";\n";
    t.floats(g.uvs, 2);
    t.s += "}\nMeshMaterialList {\n2;\n";
    t.number(static_cast<std::uint32_t>(kTriangles));
    t.s += ";\n";
    for (std::size_t i = 0; i < g.materials.size(); ++i) {
        t.number(g.materials[i]);
        t.s += i + 1 == g.materials.size() ? ";;\n" : ",\n";
    }
    t.s += kMaterialText[0];
    t.s += kMaterialText[1];
    t.s += "}\n }\n}\n";
    return t.s;
}

struct BinOut {
    std::string s;
    void token(std::uint16_t t) { s.append(reinterpret_cast<const char*>(&t), 2); }
    void u32(std::uint32_t v) { s.append(reinterpret_cast<const char*>(&v), 4); }
    void name(std::string_view n) {
        token(1);
        u32(static_cast<std::uint32_t>(n.size()));
        s.append(n);
    }
    void ints(const std::vector<std::uint32_t>& v) {
        token(6);
        u32(static_cast<std::uint32_t>(v.size()));
        s.append(reinterpret_cast<const char*>(v.data()), v.size() * 4);
    }
    void floats(const std::vector<float>& v) {
        token(7);
        u32(static_cast<std::uint32_t>(v.size()));
        s.append(reinterpret_cast<const char*>(v.data()), v.size() * 4);
    }
    void faces(std::uint32_t count, const std::vector<std::uint32_t>& t) {
        std::vector<std::uint32_t> list = {count};
        list.reserve(1 + t.size() / 3 * 4);
        for (std::size_t i = 0; i < t.size(); i += 3)
            list.insert(list.end(), {3u, t[i], t[i + 1], t[i + 2]});
        ints(list);
    }
    void material(std::vector<float> values, const char* texture) {
        name("Material");
        token(10);
        floats(values);
        if (texture) {
            name("TextureFilename");
            token(10);
            token(2);
            u32(static_cast<std::uint32_t>(std::strlen(texture)));
            s += texture;
            token(20);
            token(11);
        }
        token(11);
    }
};

std::string MakeBinary(const Grid& g) {
    BinOut b;
    b.s = "xof 0303bin 0032";
    b.name("Frame");
    b.name("Ground");
    b.token(10);
    b.name("FrameTransformMatrix");
    b.token(10);
    b.floats({1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1});
    b.token(11);
    b.name("Mesh");
    b.name("Grid");
    b.token(10);
    b.ints({static_cast<std::uint32_t>(kVertices)});
    b.floats(g.positions);
    b.faces(kTriangles, g.triangles);
    b.name("MeshNormals");
    b.token(10);
    b.ints({static_cast<std::uint32_t>(kVertices)});
    b.floats(g.normals);
    b.faces(kTriangles, g.triangles);
    b.token(11);
    b.name("MeshTextureCoords");
    b.token(10);
    b.ints({static_cast<std::uint32_t>(kVertices)});
    b.floats(g.uvs);
    b.token(11);
    b.name("MeshMaterialList");
    b.token(10);
    std::vector<std::uint32_t> list = {2, static_cast<std::uint32_t>(kTriangles)};
    list.insert(list.end(), g.materials.begin(), g.materials.end());
    b.ints(list);
    b.material({0.8f, 0.8f, 0.8f, 1, 10, 1, 1, 1, 0, 0, 0}, "grass.bmp");
    b.material({0.5f, 0.4f, 0.3f, 1, 5, 0.2f, 0.2f, 0.2f, 0, 0, 0}, nullptr);
    b.token(11);
    b.token(11);
    b.token(11);
    return b.s;
}

// The two files, written to a temporary directory and read back.
struct Files {
    std::vector<std::uint8_t> text, binary;
};

const Files& GetFiles() {
    static const Files files = [] {
        const Grid grid = MakeGrid();
        const fs::path dir = fs::temp_directory_path() / "vv_bench_xfile";
        fs::create_directories(dir);
        Files f;
        const std::pair<const char*, std::string> sources[] = {{"grid_text.x", MakeText(grid)},
                                                               {"grid_binary.x", MakeBinary(grid)}};
        for (const auto& [name, bytes] : sources) {
            std::ofstream(dir / name, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
            std::ifstream in(dir / name, std::ios::binary);
            std::vector<std::uint8_t> back{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
            (std::string(name) == "grid_text.x" ? f.text : f.binary) = std::move(back);
        }
        fs::remove_all(dir);
        return f;
    }();
    return files;
}

void LoadOurs(benchmark::State& state, const std::vector<std::uint8_t>& bytes) {
    for (auto _ : state) {
        XMesh mesh;
        XLoadError error;
        if (!LoadXFileFromMemory(bytes.data(), bytes.size(), mesh, error) || mesh.faceCount() != kTriangles) {
            state.SkipWithError(("our reader failed: " + error.describe()).c_str());
            break;
        }
        benchmark::DoNotOptimize(mesh.vertices.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes.size()));
}

void LoadAssimp(benchmark::State& state, const std::vector<std::uint8_t>& bytes) {
    for (auto _ : state) {
        Assimp::Importer importer;
        const aiScene* scene = importer.ReadFileFromMemory(bytes.data(), bytes.size(), aiProcess_Triangulate, "x");
        if (!scene) {
            state.SkipWithError(importer.GetErrorString());
            break;
        }
        benchmark::DoNotOptimize(scene->mMeshes);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes.size()));
}

void BM_XFile_Text_Ours(benchmark::State& s) { LoadOurs(s, GetFiles().text); }
void BM_XFile_Text_Assimp(benchmark::State& s) { LoadAssimp(s, GetFiles().text); }
void BM_XFile_Binary_Ours(benchmark::State& s) { LoadOurs(s, GetFiles().binary); }
void BM_XFile_Binary_Assimp(benchmark::State& s) { LoadAssimp(s, GetFiles().binary); }

// Five repetitions each; the ratios use the fastest repetition, which is the least disturbed on a shared machine.
BENCHMARK(BM_XFile_Text_Ours)->Unit(benchmark::kMillisecond)->MinTime(1.0)->Repetitions(5);
BENCHMARK(BM_XFile_Text_Assimp)->Unit(benchmark::kMillisecond)->MinTime(1.0)->Repetitions(5);
BENCHMARK(BM_XFile_Binary_Ours)->Unit(benchmark::kMillisecond)->MinTime(1.0)->Repetitions(5);
BENCHMARK(BM_XFile_Binary_Assimp)->Unit(benchmark::kMillisecond)->MinTime(1.0)->Repetitions(5);

// Prints, after the table, how many times faster our reader is than Assimp on each form: the fastest repetition's
// CPU time of each.
class RatioReporter : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs)
            if (!run.error_occurred && run.run_type == Run::RT_Iteration) {
                const auto [it, added] = times_.try_emplace(run.run_name.function_name, run.GetAdjustedCPUTime());
                if (!added)
                    it->second = std::min(it->second, run.GetAdjustedCPUTime());
            }
        ConsoleReporter::ReportRuns(runs);
    }
    void Finalize() override {
        ConsoleReporter::Finalize();
        for (const char* form : {"Text", "Binary"}) {
            const std::string ours = std::string("BM_XFile_") + form + "_Ours";
            const std::string theirs = std::string("BM_XFile_") + form + "_Assimp";
            if (times_.count(ours) && times_.count(theirs) && times_[ours] > 0)
                std::printf("%s: our reader is %.1fx faster than Assimp (1,000,000 triangles)\n", form,
                            times_[theirs] / times_[ours]);
        }
    }

  private:
    std::map<std::string, double> times_;
};

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    std::printf("files: text %zu bytes, binary %zu bytes\n", GetFiles().text.size(), GetFiles().binary.size());
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
