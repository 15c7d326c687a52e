// A frame of the viewer (RenderDX9: clear, states, transforms, the mesh's subset, the overlay, present) with a
// 1,000,000-triangle mesh, against a bare GL draw of the same vertex buffer (one program, one draw call, finish),
// both headless on the same offscreen device.
#define GL_GLEXT_PROTOTYPES 1
#include <GL/gl.h>
#include <GL/glext.h>

#include "gfx.h"
#include "viewer.h"

#include <benchmark/benchmark.h>

#include <vector>

namespace {

constexpr int kColumns = 1000, kRows = 500; // 2 triangles per cell: 1,000,000 triangles

// A grid facing the camera, 4 x 4 units, in one subset with an opaque material.
XMesh Grid() {
    XMesh m;
    m.vertices.reserve(static_cast<std::size_t>(kColumns + 1) * (kRows + 1));
    for (int r = 0; r <= kRows; ++r) {
        for (int c = 0; c <= kColumns; ++c) {
            XVertex v;
            v.position[1] = 2.0f - 4.0f * static_cast<float>(c) / kColumns;
            v.position[2] = 2.0f - 4.0f * static_cast<float>(r) / kRows;
            v.uv[0] = static_cast<float>(c) / kColumns;
            v.uv[1] = static_cast<float>(r) / kRows;
            m.vertices.push_back(v);
        }
    }
    m.indices.reserve(static_cast<std::size_t>(kColumns) * kRows * 6);
    for (std::uint32_t r = 0; r < kRows; ++r) {
        for (std::uint32_t c = 0; c < kColumns; ++c) {
            const std::uint32_t a = r * (kColumns + 1) + c, b = a + 1, d = a + kColumns + 1, e = d + 1;
            m.indices.insert(m.indices.end(), {a, b, e, a, e, d});
        }
    }
    m.subsets = {XSubset{0, static_cast<std::uint32_t>(m.indices.size() / 3)}};
    m.materials.resize(1);
    return m;
}

struct Scene {
    GfxWindow window;
    GfxTexture* texture = nullptr; // 64 x 64 opaque texels
    bool ok = false;
    Scene() {
        window.clientWidth = 640;
        window.clientHeight = 480;
        g_pRenderWindow = &window;
        if (InitialiseDX9(&window) != 1) return;
        InitialiseFont();
        g_pMesh = CreateMesh(g_pDX9Device, Grid());
        g_dwNumMaterials = 1;
        GfxMaterial m;
        m.diffuse = m.ambient = GfxColor{0.8f, 0.5f, 0.2f, 1.0f};
        g_pMeshMaterials = {m};
        g_pMeshTextures = {nullptr};
        std::vector<std::uint8_t> texels(64 * 64 * 4);
        for (std::size_t i = 0; i < texels.size(); ++i) texels[i] = (i % 4 == 3) ? 255 : static_cast<std::uint8_t>(i * 7);
        texture = CreateTexture(g_pDX9Device, 64, 64, texels.data());
        SetFixedClock(1000u);
        ok = g_pMesh != nullptr && texture != nullptr;
    }
};

Scene& TheScene() {
    static Scene scene;
    return scene;
}

void BM_RenderFrame(benchmark::State& state) {
    if (!TheScene().ok) {
        state.SkipWithError("no OpenGL device");
        return;
    }
    // 0: an untextured material; 1: textured (the alpha test per texel, blending).
    g_pMeshTextures[0] = state.range(0) ? TheScene().texture : nullptr;
    for (auto _ : state) RenderDX9(); // Present waits until the frame is finished
    g_pMeshTextures[0] = nullptr;
    state.SetItemsProcessed(state.iterations() * kColumns * kRows * 2);
}
BENCHMARK(BM_RenderFrame)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

const char* kBareVertex = "#version 330 core\nlayout(location = 0) in vec3 p;\nuniform mat4 m;\n"
                          "void main() { gl_Position = m * vec4(p, 1.0); }\n";
const char* kBareFragment = "#version 330 core\nout vec4 c;\nvoid main() { c = vec4(0.8, 0.5, 0.2, 1.0); }\n";

GLuint BareProgram() {
    auto shader = [](GLenum type, const char* src) {
        GLuint s = glCreateShader(type);
        glShaderSource(s, 1, &src, nullptr);
        glCompileShader(s);
        return s;
    };
    GLuint p = glCreateProgram();
    glAttachShader(p, shader(GL_VERTEX_SHADER, kBareVertex));
    glAttachShader(p, shader(GL_FRAGMENT_SHADER, kBareFragment));
    glLinkProgram(p);
    return p;
}

void BM_BareDraw(benchmark::State& state) {
    if (!TheScene().ok) {
        state.SkipWithError("no OpenGL device");
        return;
    }
    // The same transform as the frame's, computed once.
    const float eye[3] = {-10, 0, 0}, at[3] = {0, 0, 0}, up[3] = {0, 0, 1};
    const GfxMatrix wvp = MatrixMultiply(
        MatrixMultiply(MatrixMultiply(MatrixScaling(1, 1, 1), MatrixRotationZ(0.4f)), MatrixLookAtRH(eye, at, up)),
        MatrixPerspectiveFovRH(0.7853982f, 1.0f, 1.0f, 5000.0f));
    BeginScene(g_pDX9Device); // binds the offscreen target
    const GLuint program = BareProgram();
    glDisable(GL_BLEND);
    glDisable(GL_CULL_FACE);
    glEnable(GL_DEPTH_TEST);
    for (auto _ : state) {
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        glUseProgram(program);
        glUniformMatrix4fv(glGetUniformLocation(program, "m"), 1, GL_FALSE, wvp.m);
        DrawSubsetBare(g_pMesh, 0);
        glFinish();
    }
    glDeleteProgram(program);
    state.SetItemsProcessed(state.iterations() * kColumns * kRows * 2);
}
BENCHMARK(BM_BareDraw)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
