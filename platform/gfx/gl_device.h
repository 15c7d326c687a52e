// Inside the graphics device: the records behind the handles of gfx.h, shared by device.cpp, font.cpp and
// gfx_files.cpp. Not for use outside platform/gfx.
#pragma once

#define GL_GLEXT_PROTOTYPES 1
#include <GL/gl.h>
#include <GL/glext.h>

#include "gfx.h"

#include <cstdint>
#include <string>

// The fixed-function states, with the original platform's values at device creation.
struct GfxStates {
    std::uint32_t zEnable = 1; // a depth buffer comes with every device
    std::uint32_t srcBlend = kBlendOne;
    std::uint32_t destBlend = kBlendZero;
    std::uint32_t cullMode = 3;
    std::uint32_t alphaRef = 0;
    std::uint32_t alphaFunc = kCmpAlways;
    std::uint32_t alphaTestEnable = 0;
    std::uint32_t alphaBlendEnable = 0;
    std::uint32_t lighting = 1;
    std::uint32_t ambient = 0;
};

// One program of the device with the locations of its uniforms.
struct GfxSceneProgram {
    GLuint program = 0;
    GLint wvp = -1, color = -1, alphaPass = -1, alphaInvert = -1, tex = -1;
};
struct GfxTextProgram {
    GLuint program = 0;
    GLint target = -1, color = -1, atlas = -1;
    GLuint vao = 0, vbo = 0;
};

// The GL state of a context shared with the UI toolkit, as it was before the device drew into it.
struct GfxSavedGlState {
    bool saved = false;
    GLint framebuffer = 0, readFramebuffer = 0, program = 0, vertexArray = 0, arrayBuffer = 0, activeTexture = 0,
          texture2d = 0;
    GLint viewport[4] = {};
    GLint blendSrcRgb = 0, blendDstRgb = 0, blendSrcAlpha = 0, blendDstAlpha = 0, depthFunc = 0, frontFace = 0,
          cullFace = 0, unpackAlignment = 0, packAlignment = 0;
    GLboolean blend = 0, depthTest = 0, cull = 0, scissor = 0, stencil = 0, depthMask = 0;
    GLboolean colorMask[4] = {};
    GLfloat clearColor[4] = {};
};

// Invariants: `contextSerial` names a live entry of the context registry while the device lives; the GL names
// below belong to that context; every device draws into its own framebuffer `fbo` of width x height (a window
// device copies it to the window in Present).
struct GfxDevice {
    GfxDeviceKind kind = GfxDeviceKind::Hardware;
    std::uint64_t contextSerial = 0;
    int width = 0, height = 0;
    GLuint fbo = 0, colorRb = 0, depthRb = 0;
    GfxSceneProgram scene; // subsets with a texture on stage 0
    GfxSceneProgram flat;  // subsets without
    GfxTextProgram text;
    GfxStates states;
    GfxMatrix world, view, projection;
    GfxMaterial material;
    const GfxTexture* texture = nullptr;
    GfxWindowContext* window = nullptr;
    GfxSavedGlState savedState; // window devices: saved by the first call of a frame, restored by its end
};

// Invariants: subsets as in XMesh; the buffers hold the vertices (position, uv) and the 32-bit indices.
struct GfxMesh {
    std::uint64_t contextSerial = 0;
    GLuint vao = 0, vbo = 0, ibo = 0;
    std::uint32_t faceCount = 0, vertexCount = 0;
    std::vector<XSubset> subsets;
};

struct GfxTexture {
    std::uint64_t contextSerial = 0;
    GLuint name = 0;
    std::uint32_t width = 0, height = 0;
};

// The context registry: makes the context of `serial` current; false when it is gone (its GL names with it).
bool MakeContextCurrent(std::uint64_t serial);
// Binds the device's target, its viewport and makes its context current; false when the device cannot draw.
bool BindTarget(GfxDevice* device);
GLuint CompileProgram(const char* vertexSource, const char* fragmentSource, std::string& log);
